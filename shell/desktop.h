// Wallpaper mode: the main window under the desktop icons, and the wallpaper put back.
#pragma once

#include "platform/win32.h"

// A new wallpaper window, as wallpaper mode is entered: the wallpaper to put back is read
// and recorded, and the window goes under the icons, or waits hidden for the desktop.
void AttachToDesktop(const RECT& monitor);
// A window made anew after the shell took the last one: it waits hidden, as at a start
// without a shell, until the shell's desktop layer is there.
void ReattachToDesktop(const RECT& monitor);
// Sets the saved wallpaper again, repaints the desktop and removes the record of it.
void RestoreDesktop();
BOOL CALLBACK FindWorkerProc(HWND window, LPARAM param);

// Once at start, by the running instance: a program that died as the wallpaper left a
// record; the desktop it left frozen is restored as leaving wallpaper mode would.
void RestoreDesktopLeftBehind();

// The wallpaper window covers `monitor` again after a display change.
void FitWallpaperToMonitor(const RECT& monitor);
// The shell took the wallpaper window with it: its swap chain goes, and the window is
// made anew by the next KeepWallpaperAttached.
void LoseWallpaperWindow();
// Once per pass of the main loop: in wallpaper mode, a window that is gone is made anew,
// and a waiting one is attached as soon as the shell's desktop is there.
void KeepWallpaperAttached();
// "TaskbarCreated": a shell has started, so its desktop is looked for at once and for the
// whole retry period from now; a window left in a layer that is no longer the desktop's
// is moved.
void ReattachAfterShellStart();
// Whether the wallpaper window's parent is the layer that the shell's windows, as they
// stand now, make the place for it.
bool WallpaperOnDesktopLayer();
