// Wallpaper mode: the main window becomes a child of the shell's worker window behind the
// desktop icons; leaving it sets the saved wallpaper again and repaints the desktop. Without
// a shell the window waits hidden, and it is attached (or made anew, when the shell ended
// and took it along) once the shell's desktop is back.
#include "shell/desktop.h"

#include "app/app_state.h"
#include "render/renderer.h"
#include "shell/main_window.h"

namespace {

// Asks "Progman" to create the worker window behind the icons if it has none yet.
const UINT kSpawnWorker = 0x052C;
const UINT kWallpaperPathCapacity = 520;
const LONG_PTR kWithoutPopupAndChild = 0x3FFFFFFF;
// The desktop's windows may come up some seconds after the taskbar that announces them.
const ULONGLONG kAttachRetryInterval = 1000;
const ULONGLONG kAttachRetryPeriod = 30000;

// The worker window behind the icons, else "Progman", else null (no shell). A shell that is
// still starting may not have answered in time or made its worker yet; while the window
// waits for the shell, its Progman is no place for it, and the next try looks again.
HWND FindDesktopParent(bool waitingForShell) {
  HWND progman = FindWindowW(L"Progman", nullptr);
  SendMessageTimeoutW(progman, kSpawnWorker, 0, 0, SMTO_NORMAL, 1000, nullptr);
  HWND worker = nullptr;
  EnumWindows(FindWorkerProc, (LPARAM)&worker);
  // The newer shell keeps its worker window inside "Progman".
  if (!worker) worker = FindWindowExW(progman, nullptr, L"WorkerW", nullptr);
  if (waitingForShell) return worker;
  return worker ? worker : progman;
}

// The worker window spans the virtual screen; the monitor is an offset inside it. The
// window goes below its siblings, so that an icon view in the same parent stays on top.
void PlaceInParent(HWND parent, const RECT& monitor, UINT flags) {
  POINT corner = {monitor.left, monitor.top};
  ScreenToClient(parent, &corner);
  SetWindowPos(gApp.mainWindow, HWND_BOTTOM, corner.x, corner.y, monitor.right - monitor.left,
               monitor.bottom - monitor.top, SWP_NOACTIVATE | flags);
}

// False when there is no desktop: the window is left hidden and top-level.
bool AttachUnderIcons(const RECT& monitor, bool waitingForShell) {
  HWND parent = FindDesktopParent(waitingForShell);
  if (!parent) return false;
  LONG_PTR style = GetWindowLongPtrW(gApp.mainWindow, GWL_STYLE);
  SetWindowLongPtrW(gApp.mainWindow, GWL_STYLE, (style & kWithoutPopupAndChild) | WS_CHILD);
  LONG_PTR exStyle = GetWindowLongPtrW(gApp.mainWindow, GWL_EXSTYLE);
  SetWindowLongPtrW(gApp.mainWindow, GWL_EXSTYLE, exStyle | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW);
  SetParent(gApp.mainWindow, parent);
  PlaceInParent(parent, monitor, SWP_SHOWWINDOW);
  return true;
}

void StartAttachRetries() {
  ULONGLONG now = GetTickCount64();
  gApp.nextAttachTry = now + kAttachRetryInterval;
  gApp.attachRetryUntil = now + kAttachRetryPeriod;
}

// The waiting window still covers its monitor, in screen coordinates.
void RetryAttach() {
  RECT monitor = {0, 0, 0, 0};
  GetWindowRect(gApp.mainWindow, &monitor);
  if (AttachUnderIcons(monitor, true)) gApp.wallpaperWaiting = false;
}

}  // namespace

// The worker window wanted is the top-level "WorkerW" that follows the window holding the
// icon view. Every holder is visited and the last one decides, even when nothing follows it.
BOOL CALLBACK FindWorkerProc(HWND window, LPARAM param) {
  if (FindWindowExW(window, nullptr, L"SHELLDLL_DefView", nullptr))
    *(HWND*)param = FindWindowExW(nullptr, window, L"WorkerW", nullptr);
  return TRUE;
}

void AttachToDesktop(const RECT& monitor) {
  wchar_t path[kWallpaperPathCapacity] = {};
  if (SystemParametersInfoW(SPI_GETDESKWALLPAPER, kWallpaperPathCapacity, path, 0))
    gApp.savedWallpaperPath = path;
  // A borderless window alone on the monitor would cover every other window.
  gApp.wallpaperWaiting = !AttachUnderIcons(monitor, false);
  if (gApp.wallpaperWaiting) StartAttachRetries();
}

void RestoreDesktop() {
  if (!gApp.savedWallpaperPath.empty())
    SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, (PVOID)gApp.savedWallpaperPath.c_str(),
                          SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
  RedrawWindow(nullptr, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void FitWallpaperToMonitor(const RECT& monitor) {
  if (gApp.wallpaperWaiting)
    SetWindowPos(gApp.mainWindow, nullptr, monitor.left, monitor.top,
                 monitor.right - monitor.left, monitor.bottom - monitor.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  else
    PlaceInParent(GetParent(gApp.mainWindow), monitor, 0);
}

void LoseWallpaperWindow() {
  ReleaseSwapChain();
  gApp.mainWindow = nullptr;
}

void KeepWallpaperAttached() {
  if (!gApp.wallpaperActive) return;
  // Some systems destroy the child of a shell that ends without telling it.
  if (gApp.mainWindow && !IsWindow(gApp.mainWindow)) LoseWallpaperWindow();
  if (!gApp.mainWindow) {
    CreateMainWindow(kModeWallpaper);
    return;
  }
  ULONGLONG now = GetTickCount64();
  if (!gApp.wallpaperWaiting || now < gApp.nextAttachTry || now > gApp.attachRetryUntil) return;
  gApp.nextAttachTry = now + kAttachRetryInterval;
  RetryAttach();
}

void ReattachAfterShellStart() {
  if (!gApp.wallpaperActive) return;
  StartAttachRetries();
  if (gApp.wallpaperWaiting && gApp.mainWindow) RetryAttach();
}
