// Test controls of the portable desktop: what a person, the shell or the machine would do
// to the program (monitors, the shell's windows, the notification area, menu choices, the
// wallpaper setting, the clock), and what a test may look at afterwards.
#pragma once

#include "layer_only.h"

#include <string>
#include <vector>

#include "win32/shell.h"
#include "win32/user32.h"

// How the desktop shell arranges its windows.
//   Classic: "Progman" ("Program Manager", holding "SHELLDLL_DefView") is a top-level window;
//            message 0x052C creates a top-level "WorkerW" right after it in Z order.
//   Nested:  as Classic, but the "WorkerW" that 0x052C creates is a child of "Progman".
//   Raised:  as Windows 11 24H2 arranges it: "Progman" carries WS_EX_NOREDIRECTIONBITMAP and
//            keeps "SHELLDLL_DefView"; 0x052C creates a "WorkerW" child of "Progman", at the
//            bottom of its children, where the shell shows the static wallpaper.
//   None:    no shell windows at all.
enum class PortableShellLayout { Classic, Nested, Raised, None };

// Forgets every window, class, queued message, menu, tray icon and scripted answer, and
// rebuilds the desktop: one 1920 x 1080 primary monitor at (0, 0), the shell in `layout`,
// an empty wallpaper path, the cursor at (100, 100), the real clock.
void PortableResetDesktop(PortableShellLayout layout = PortableShellLayout::Classic);

// Monitors. The first rectangle given is the primary monitor; the work area of each is its
// rectangle less a 40-pixel taskbar at the bottom. As on a display change, the shell's
// windows are stretched over the new virtual screen and every top-level window is then
// sent WM_DISPLAYCHANGE (32 bits per pixel, the primary monitor's size).
// Each monitor refreshes `refreshRates[i]` times a second (dmDisplayFrequency), 60 where the
// list gives none; 0 and 1 stand for the hardware's default rate, which is 60 here.
void PortableSetMonitors(const std::vector<RECT>& monitors,
                         const std::vector<DWORD>& refreshRates = {});
// How often the monitor that holds most of the window refreshes (60 for 0 and 1).
DWORD PortableRefreshRateOf(HWND window);

// The shell ending (Explorer crashing or restarting): its windows are destroyed, and with
// them every child window of other programs inside them (WM_DESTROY to each, parents
// first, as Windows sends it); the notification area forgets every icon.
void PortableEndShell();
// The shell's desktop windows in `layout` appear again, without a taskbar broadcast.
void PortableStartDesktopWindows(PortableShellLayout layout = PortableShellLayout::Classic);
// A new shell: its desktop windows, then its taskbar (PortableRestartTaskbar).
void PortableStartShell(PortableShellLayout layout = PortableShellLayout::Classic);
// The shell ends (as PortableEndShell) right after the next SetParent into one of its
// windows, taking the new child along: Explorer crashing while a program attaches to it.
void PortableEndShellAtNextParent();
// A shell still starting (or hung): SendMessageTimeoutW to its windows times out (0,
// ERROR_TIMEOUT), and the messages are handled once it is no longer busy.
void PortableSetShellBusy(bool busy);

// Window frame metrics (Windows 10 at 96 DPI): a sizing frame is 8 pixels on every side,
// a fixed dialog frame 3, a thin border 1; a caption adds 23 at the top, a menu bar 20.

// The cursor position that GetCursorPos reports, and the cursor last set with SetCursor
// (null when hidden).
void PortableSetCursorPos(POINT point);
HCURSOR PortableCurrentCursor();

// Menus. Tracking is modal: while a menu is open, the messages waiting in the queue are
// dispatched (as Windows' menu loop does), and a second TrackPopupMenu on the thread fails
// with ERROR_POPUP_ALREADY_ACTIVE. Then the menu takes the next scripted choice (0 =
// dismissed without a choice); a choice that names no item of the menu also dismisses it.
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
// TrackPopupMenu calls refused because a menu was already open.
int PortableRefusedMenuCount();

// Notification area. While failing, NIM_ADD is refused. Restarting the taskbar forgets
// every icon and posts the registered "TaskbarCreated" message to every top-level window.
void PortableSetTrayFailing(bool failing);
void PortableRestartTaskbar();
const std::vector<NOTIFYICONDATAW>& PortableTrayIcons();
// A person using the icon (window and uID of the record), delivered to its window as the
// notification area posts it for the icon's version. Version 4: wParam holds the anchor
// point (x low, y high), lParam the event (low) and the icon's uID (high); a left click is
// WM_LBUTTONDOWN, WM_LBUTTONUP, NIN_SELECT; a right click WM_RBUTTONDOWN, WM_RBUTTONUP,
// WM_CONTEXTMENU; Enter on the focused icon NIN_KEYSELECT; the menu key (Shift+F10)
// WM_CONTEXTMENU. Before version 4 (as version 0 does it): wParam is the uID and lParam the
// mouse message, and the keyboard sends WM_RBUTTONDOWN and WM_RBUTTONUP. Nothing is sent
// without NIF_MESSAGE.
enum class PortableTrayInput { LeftClick, RightClick, EnterKey, MenuKey };
void PortableUseTrayIcon(HWND window, UINT id, PortableTrayInput input);
// Whether the icon shows the standard tooltip: it needs NIF_TIP and a text, and with
// version 4 also NIF_SHOWTIP in the latest NIM_ADD or NIM_MODIFY.
bool PortableTrayTipShown(HWND window, UINT id);

// Desktop wallpaper. A process's first look at it reads the user's profile, as a logon does
// (HKEY_CURRENT_USER "Control Panel\Desktop", value "Wallpaper"); SPI_SETDESKWALLPAPER with
// SPIF_UPDATEINIFILE writes it there too. A reset starts from an empty path, and setting it
// here changes the session only. The next `count` SPI_GETDESKWALLPAPER reads fail.
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

// Windows before version 1803 refuse CreateWaitableTimerExW's high-resolution flag (until
// the next reset of the desktop).
void PortableRefuseHighResolutionTimers(bool refuse);

// The secure desktop (the lock screen, Ctrl+Alt+Del, an elevation prompt) takes the display:
// nothing of the user's desktop is seen until it goes (or the desktop is reset).
void PortableShowSecureDesktop(bool shown);
bool PortableSecureDesktopShown();

// Another window moved off this one, or the display lost its content: the window needs
// painting again.
void PortableExposeWindow(HWND window);

// Message boxes shown since the reset, oldest first, with where Windows would have put
// them: the visible top-level windows above the box (topmost first) and whether the box
// took the foreground. The answer is always IDOK.
struct PortableMessageBox {
  std::wstring caption;
  std::wstring text;
  UINT type = 0;
  std::vector<HWND> coveredBy;
  bool foreground = false;
};
const std::vector<PortableMessageBox>& PortableMessageBoxes();

// A termination signal as SIGINT, SIGTERM or SIGHUP delivers it.
void PortableRequestClose();

// The user's session ending (log-off, shutdown, or the Restart Manager freeing a file when
// `reasons` holds ENDSESSION_CLOSEAPP), as Windows ends it: WM_QUERYENDSESSION is sent to the
// program's top-level windows, hidden ones included, topmost first, until one answers FALSE;
// then WM_ENDSESSION to each window asked, its wParam TRUE when every one agreed and so did
// the rest of the system (`othersAgree` false: another program refused, the end is called
// off). True when the session ends. A log-off or shutdown then ends the process at once,
// without another message, as Windows may as soon as the windows have answered: the exit
// observer is called and the process exits with kPortableSessionEndExitCode. The Restart
// Manager instead leaves the program to end by itself.
inline constexpr UINT kPortableSessionEndExitCode = 3;
bool PortableEndSession(LPARAM reasons, bool othersAgree = true);

// A key held down: the first WM_KEYDOWN (WM_SYSKEYDOWN with Alt), `repeats` auto-repeats
// (lParam bit 30, the previous key state, set), then the key-up, with a repeat count of 1
// and bit 29 with Alt, as Windows sets them. Like all input they come after the posted
// messages, one at a time, each to the window that is in the foreground when it is taken.
void PortableHoldKey(UINT key, int repeats, bool alt = false);

// Called by ExitProcess before the process ends, so that a death test can report what the
// program left behind; null for none.
void PortableSetExitObserver(void (*observer)(UINT exitCode));

// The program's windows (not the shell's) in creation order, destroyed ones excluded.
std::vector<HWND> PortableProgramWindows();

// Windows of other programs: a top-level window owned by process `processId` (not this
// one), of class `className`, at `rect` in screen coordinates, above the other windows of
// its band (WS_EX_TOPMOST or not); WS_VISIBLE shows it. The program's calls work on it as
// on any window; its messages are answered by default.
HWND PortableCreateOtherProgramWindow(DWORD processId, const wchar_t* className, DWORD style,
                                      DWORD exStyle, RECT rect);
// The compositor cloaks the window for these DWM_CLOAKED_* reasons (0 uncloaks it), with
// EVENT_OBJECT_CLOAKED or EVENT_OBJECT_UNCLOAKED when that changes.
void PortableCloakWindow(HWND window, DWORD reasons);
// From now on DwmGetWindowAttribute fails with this result (S_OK: it answers), as on a
// system whose compositor does not know the attribute.
void PortableFailDwm(HRESULT result);
// A person drags the window to `rect` (screen coordinates): the system's move loop raises
// EVENT_SYSTEM_MOVESIZESTART and, when the button is let go, EVENT_SYSTEM_MOVESIZEEND. A
// program's own SetWindowPos raises neither.
void PortableMoveWindowByHand(HWND window, RECT rect);
// Show-desktop (Win+D): the desktop's windows come to the top of the ordinary windows and
// the one holding the icons takes the foreground; topmost windows stay above them.
void PortableShowDesktop();
// Event hooks set and not yet unhooked.
int PortableWinEventHookCount();
// With the clock frozen (PortableFreezeClock) and this on, every wait that nothing ends
// early (Sleep, MsgWaitForMultipleObjects without new input) returns at once and moves the
// clock on by its time-out, so that tests see how long the program chose to wait.
void PortableMakeWaitsVirtual(bool on);
