// Wallpaper mode: the main window under the desktop icons, and the wallpaper put back.
#pragma once

#include "platform/win32.h"

void AttachToDesktop(const RECT& monitor);
void RestoreDesktop();
BOOL CALLBACK FindWorkerProc(HWND window, LPARAM param);

// The wallpaper window covers `monitor` again after a display change.
void FitWallpaperToMonitor(const RECT& monitor);
// The shell took the wallpaper window with it: its swap chain goes, and the window is
// made anew by the next KeepWallpaperAttached.
void LoseWallpaperWindow();
// Once per pass of the main loop: in wallpaper mode, a window that is gone is made anew,
// and a waiting one is attached as soon as the shell's desktop is there.
void KeepWallpaperAttached();
// "TaskbarCreated": a shell has started, so its desktop is looked for at once and for the
// whole retry period from now.
void ReattachAfterShellStart();
