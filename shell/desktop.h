// Wallpaper mode: the main window under the desktop icons, and the wallpaper put back.
#pragma once

#include "platform/win32.h"

void AttachToDesktop(const RECT& monitor);
void RestoreDesktop();
BOOL CALLBACK FindWorkerProc(HWND window, LPARAM param);
