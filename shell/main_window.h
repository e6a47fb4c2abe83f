// The main window in its three display modes, its keys and its swap-chain resize.
#pragma once

#include <cstdint>

#include "app/app_state.h"
#include "platform/win32.h"

// Leaves the current display mode (the desktop is restored when that was the wallpaper) and
// makes the window of `mode`.
void CreateMainWindow(int32_t mode);
// Wallpaper mode goes on after the shell took its window: a new one, waiting for the desktop.
void RecreateWallpaperWindow();
// Wallpaper while the window is the desktop's, else fullscreen or windowed.
DisplayMode CurrentDisplayMode();
// After a display change the fullscreen or wallpaper window covers its monitor's new
// rectangle; the swap chain follows through WM_SIZE.
void FitWindowToMonitor();
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
