// The walk down the Z order from the top to the picture: the windows of other programs that
// cover it, leaving out those that show nothing there (hidden, minimised, cloaked,
// click-through, see-through) and the shell's overlays, which come and go above everything.
#include "shell/coverage.h"

#include <algorithm>
#include <cwchar>

#include "app/app_state.h"

namespace {

// The taskbars, the notification area's overflow, Start and search, Task View and the task
// switcher.
const wchar_t* const kShellOverlays[] = {
    L"Shell_TrayWnd",
    L"Shell_SecondaryTrayWnd",
    L"NotifyIconOverflowWindow",
    L"Windows.UI.Core.CoreWindow",
    L"MultitaskingViewFrame",
    L"XamlExplorerHostIslandWindow",
};
const int kClassNameCapacity = 256;

struct Walk {
  HWND wallpaperRoot;  // the top-level window that holds the wallpaper window
  std::vector<RECT> covers;
};

bool ClassIs(HWND window, const wchar_t* name) {
  wchar_t className[kClassNameCapacity] = {};
  return GetClassNameW(window, className, kClassNameCapacity) > 0 &&
         std::wcscmp(className, name) == 0;
}

bool ShellOverlay(HWND window) {
  return std::any_of(std::begin(kShellOverlays), std::end(kShellOverlays),
                     [&](const wchar_t* name) { return ClassIs(window, name); });
}

// A failed query (no compositor, an older system) means not cloaked.
bool Cloaked(HWND window) {
  DWORD cloaked = 0;
  return SUCCEEDED(DwmGetWindowAttribute(window, DWMWA_CLOAKED, &cloaked, sizeof(cloaked))) &&
         cloaked != 0;
}

// A layered window covers only when it is known to be opaque: full alpha and no colour key.
// One whose attributes cannot be read draws itself pixel by pixel with UpdateLayeredWindow
// (shadows, glows, shaped pop-ups, mostly see-through), so it is taken as not covering:
// better to draw unseen than to stop while something shows.
bool OpaqueLayered(HWND window) {
  COLORREF key = 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  if (!GetLayeredWindowAttributes(window, &key, &alpha, &flags)) return false;
  return !(flags & LWA_COLORKEY) && (!(flags & LWA_ALPHA) || alpha == 255);
}

bool Covers(HWND window) {
  if (!IsWindowVisible(window) || IsIconic(window)) return false;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId()) return false;
  LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
  if (exStyle & WS_EX_TRANSPARENT) return false;
  if ((exStyle & WS_EX_LAYERED) && !OpaqueLayered(window)) return false;
  return !Cloaked(window) && !ShellOverlay(window);
}

// What the window shows: without the invisible resize borders that Windows 10 and 11 add
// around a frame, where the compositor reports them.
RECT Bounds(HWND window) {
  RECT bounds = {0, 0, 0, 0};
  if (FAILED(DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, &bounds, sizeof(bounds))))
    GetWindowRect(window, &bounds);
  return bounds;
}

// Wallpaper mode: nothing at or below the desktop's layer covers the picture.
bool DesktopLayer(HWND window, HWND wallpaperRoot) {
  return window == wallpaperRoot || ClassIs(window, L"Progman") ||
         FindWindowExW(window, nullptr, L"SHELLDLL_DefView", nullptr) != nullptr;
}

// Top-level windows come from the top of the Z order down; the walk ends at the picture.
BOOL CALLBACK CollectCover(HWND window, LPARAM param) {
  Walk* walk = (Walk*)param;
  bool picture = gApp.wallpaperActive ? DesktopLayer(window, walk->wallpaperRoot)
                                      : window == gApp.mainWindow;
  if (picture) return FALSE;
  if (Covers(window)) walk->covers.push_back(Bounds(window));
  return TRUE;
}

// Only "QUNS_RUNNING_D3D_FULL_SCREEN" is trusted (other states stick or lie), and only for
// another program: the program's own fullscreen window is no reason to stop.
bool OtherFullScreen() {
  QUERY_USER_NOTIFICATION_STATE state = QUNS_ACCEPTS_NOTIFICATIONS;
  if (FAILED(SHQueryUserNotificationState(&state)) || state != QUNS_RUNNING_D3D_FULL_SCREEN)
    return false;
  DWORD process = 0;
  GetWindowThreadProcessId(GetForegroundWindow(), &process);
  return process != GetCurrentProcessId();
}

}  // namespace

RECT ShownArea() {
  if (gApp.wallpaperActive) {
    MONITORINFO info = {};
    info.cbSize = sizeof(MONITORINFO);
    GetMonitorInfoW(MonitorFromWindow(gApp.mainWindow, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcMonitor;
  }
  RECT client = {0, 0, 0, 0};
  GetClientRect(gApp.mainWindow, &client);
  POINT corner = {0, 0};
  ClientToScreen(gApp.mainWindow, &corner);
  LONG left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  LONG right = left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  LONG bottom = top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  return {std::max(corner.x, left), std::max(corner.y, top),
          std::min(corner.x + client.right, right), std::min(corner.y + client.bottom, bottom)};
}

SeenInputs GatherSeenInputs() {
  SeenInputs inputs;
  inputs.displayOff = gApp.displayOff;
  inputs.suspending = gApp.suspending;
  inputs.sessionLocked = gApp.sessionLocked;
  inputs.consoleDisconnected = gApp.consoleDisconnected;
  inputs.otherFullScreen = OtherFullScreen();
  inputs.area = ShownArea();
  Walk walk = {GetAncestor(gApp.mainWindow, GA_ROOT), {}};
  EnumWindows(CollectCover, (LPARAM)&walk);
  inputs.covers = std::move(walk.covers);
  return inputs;
}
