// Test controls of the portable desktop: what a person, the shell or the machine would do
// to the program (monitors, the shell's windows, the notification area, menu choices, the
// wallpaper setting, the clock), and what a test may look at afterwards.
#pragma once

#include <string>
#include <vector>

#include "platform/portable/shell.h"
#include "platform/portable/user32.h"

// How the desktop shell arranges its windows.
//   Classic: "Progman" ("Program Manager", holding "SHELLDLL_DefView") is a top-level window;
//            message 0x052C creates a top-level "WorkerW" right after it in Z order.
//   Nested:  as Classic, but the "WorkerW" that 0x052C creates is a child of "Progman".
//   None:    no shell windows at all.
enum class PortableShellLayout { Classic, Nested, None };

// Forgets every window, class, queued message, menu, tray icon and scripted answer, and
// rebuilds the desktop: one 1920 x 1080 primary monitor at (0, 0), the shell in `layout`,
// an empty wallpaper path, the cursor at (100, 100), the real clock.
void PortableResetDesktop(PortableShellLayout layout = PortableShellLayout::Classic);

// Monitors. The first rectangle given is the primary monitor; the work area of each is its
// rectangle less a 40-pixel taskbar at the bottom. The shell's windows are stretched over
// the new virtual screen.
void PortableSetMonitors(const std::vector<RECT>& monitors);

// Window frame metrics (Windows 10 at 96 DPI): a sizing frame is 8 pixels on every side,
// a fixed dialog frame 3, a thin border 1; a caption adds 23 at the top, a menu bar 20.

// The cursor position that GetCursorPos reports, and the cursor last set with SetCursor
// (null when hidden).
void PortableSetCursorPos(POINT point);
HCURSOR PortableCurrentCursor();

// Menus. Each TrackPopupMenu takes the next scripted choice (0 = dismissed without a
// choice); a choice that names no item of the menu also dismisses it.
void PortableScriptMenuChoice(UINT id);
struct PortableMenuItem {
  UINT flags = 0;
  UINT id = 0;
  std::wstring text;
  std::vector<PortableMenuItem> submenu;
};
struct PortableTrackedMenu {
  HWND owner = nullptr;
  UINT flags = 0;
  POINT at = {0, 0};
  std::vector<PortableMenuItem> items;
};
// The menus tracked since the reset, oldest first, as they were when tracking began.
const std::vector<PortableTrackedMenu>& PortableTrackedMenus();
// Menus created and not yet destroyed.
int PortableLiveMenuCount();

// Notification area. While failing, NIM_ADD is refused. Restarting the taskbar forgets
// every icon and posts the registered "TaskbarCreated" message to every top-level window.
void PortableSetTrayFailing(bool failing);
void PortableRestartTaskbar();
const std::vector<NOTIFYICONDATAW>& PortableTrayIcons();

// Desktop wallpaper. The next `count` SPI_GETDESKWALLPAPER reads fail.
void PortableSetWallpaperPath(const std::wstring& path);
std::wstring PortableWallpaperPath();
void PortableFailWallpaperReads(int count);
int PortableWallpaperWriteCount();
int PortableDesktopRepaintCount();

// The clock. Once frozen, the performance counter stands still except for advances; an
// advance also moves a running clock forward (a stall of the machine).
void PortableFreezeClock();
void PortableAdvanceClock(double seconds);
// The performance counter's reading: the real count, or the frozen one, plus the advances.
LONGLONG PortableAdjustCounter(LONGLONG realTicks, LONGLONG ticksPerSecond);

// A termination signal as SIGINT, SIGTERM or SIGHUP delivers it.
void PortableRequestClose();

// The program's windows (not the shell's) in creation order, destroyed ones excluded.
std::vector<HWND> PortableProgramWindows();
