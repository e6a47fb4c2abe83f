// The main window in its three display modes, its keys and its swap-chain resize.
#pragma once

#include <cstdint>

#include "platform/win32.h"

void CreateMainWindow(int32_t mode);
void SetDisplayMode(int32_t mode);
// After a display change the fullscreen or wallpaper window covers its monitor's new
// rectangle; the swap chain follows through WM_SIZE.
void FitWindowToMonitor();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
