// Wallpaper mode: the main window becomes a child of the shell's worker window behind the
// desktop icons; leaving it sets the saved wallpaper again and repaints the desktop.
#include "shell/desktop.h"

#include "app/app_state.h"

namespace {

// Asks "Progman" to create the worker window behind the icons if it has none yet.
const UINT kSpawnWorker = 0x052C;
const UINT kWallpaperPathCapacity = 520;
const LONG_PTR kWithoutPopupAndChild = 0x3FFFFFFF;

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

  HWND progman = FindWindowW(L"Progman", nullptr);
  SendMessageTimeoutW(progman, kSpawnWorker, 0, 0, SMTO_NORMAL, 1000, nullptr);
  HWND worker = nullptr;
  EnumWindows(FindWorkerProc, (LPARAM)&worker);
  // The newer shell keeps its worker window inside "Progman".
  if (!worker) worker = FindWindowExW(progman, nullptr, L"WorkerW", nullptr);
  HWND parent = worker ? worker : progman;

  LONG_PTR style = GetWindowLongPtrW(gApp.mainWindow, GWL_STYLE);
  SetWindowLongPtrW(gApp.mainWindow, GWL_STYLE, (style & kWithoutPopupAndChild) | WS_CHILD);
  LONG_PTR exStyle = GetWindowLongPtrW(gApp.mainWindow, GWL_EXSTYLE);
  SetWindowLongPtrW(gApp.mainWindow, GWL_EXSTYLE, exStyle | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW);
  SetParent(gApp.mainWindow, parent);

  // The worker window spans the virtual screen; the monitor is an offset inside it.
  POINT corner = {monitor.left, monitor.top};
  ScreenToClient(parent, &corner);
  SetWindowPos(gApp.mainWindow, nullptr, corner.x, corner.y, monitor.right - monitor.left,
               monitor.bottom - monitor.top, SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void RestoreDesktop() {
  if (!gApp.savedWallpaperPath.empty())
    SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, (PVOID)gApp.savedWallpaperPath.c_str(),
                          SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
  RedrawWindow(nullptr, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}
