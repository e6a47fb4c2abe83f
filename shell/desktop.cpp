// Wallpaper mode: the main window becomes a child of the shell's desktop layer behind the
// icons; leaving it sets the saved wallpaper again and repaints the desktop. Without a
// shell the window waits hidden, and it is attached (or made anew, when the shell ended
// and took it along) once the shell's desktop is back. While the program is the wallpaper
// the settings key records it, so that a start after a crash can put the desktop back.
#include "shell/desktop.h"

#include "app/app_state.h"
#include "render/renderer.h"
#include "shell/main_window.h"
#include "shell/settings.h"

namespace {

// Asks "Progman" to create the worker window behind the icons if it has none yet.
const UINT kSpawnWorker = 0x052C;
const LONG_PTR kWithoutPopupAndChild = 0x3FFFFFFF;
// The desktop's windows may come up some seconds after the taskbar that announces them.
const ULONGLONG kAttachRetryInterval = 1000;
const ULONGLONG kAttachRetryPeriod = 30000;
const BYTE kOpaque = 255;

// The desktop of Windows 11 24H2 and later: "Progman" is drawn without a redirection bitmap
// and keeps the icon view itself. Its icon view there, else null.
HWND RaisedIconView(HWND progman) {
  if (!progman || !(GetWindowLongPtrW(progman, GWL_EXSTYLE) & WS_EX_NOREDIRECTIONBITMAP))
    return nullptr;
  return FindWindowExW(progman, nullptr, L"SHELLDLL_DefView", nullptr);
}

// Where a wallpaper window belongs as the shell's windows stand now: in the raised desktop
// "Progman" itself (its worker child shows the static wallpaper), elsewhere the worker
// behind the icons. Null when there is none (yet).
HWND FindDesktopLayer(HWND progman) {
  if (RaisedIconView(progman)) return progman;
  HWND worker = nullptr;
  EnumWindows(FindWorkerProc, (LPARAM)&worker);
  // Some shells before the raised desktop keep their worker window inside "Progman".
  if (!worker) worker = FindWindowExW(progman, nullptr, L"WorkerW", nullptr);
  return worker;
}

// The window covers the monitor, an offset inside the parent, which spans the virtual
// screen. It goes below the icons: in the raised desktop right below the icon view, with
// the shell's own wallpaper worker at the bottom; elsewhere below all its siblings, so that
// an icon view in the same parent stays on top.
void PlaceInParent(HWND parent, const RECT& monitor, UINT flags) {
  POINT corner = {monitor.left, monitor.top};
  ScreenToClient(parent, &corner);
  HWND view = RaisedIconView(parent);
  SetWindowPos(gApp.mainWindow, view ? view : HWND_BOTTOM, corner.x, corner.y,
               monitor.right - monitor.left, monitor.bottom - monitor.top,
               SWP_NOACTIVATE | flags);
  HWND worker = view ? FindWindowExW(parent, nullptr, L"WorkerW", nullptr) : nullptr;
  if (worker)
    SetWindowPos(worker, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void MoveIntoParent(HWND parent, const RECT& monitor) {
  LONG_PTR style = GetWindowLongPtrW(gApp.mainWindow, GWL_STYLE);
  SetWindowLongPtrW(gApp.mainWindow, GWL_STYLE, (style & kWithoutPopupAndChild) | WS_CHILD);
  LONG_PTR exStyle =
      GetWindowLongPtrW(gApp.mainWindow, GWL_EXSTYLE) | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;
  SetWindowLongPtrW(gApp.mainWindow, GWL_EXSTYLE, exStyle);
  SetParent(gApp.mainWindow, parent);
  // A plain child of the raised "Progman" is not composed; a layered one is. Reports differ
  // on whether the style may be there at SetParent, so it comes after.
  if (RaisedIconView(parent)) {
    SetWindowLongPtrW(gApp.mainWindow, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    SetLayeredWindowAttributes(gApp.mainWindow, 0, kOpaque, LWA_ALPHA);
  }
  PlaceInParent(parent, monitor, SWP_SHOWWINDOW);
}

// True once the window is in the desktop layer. Without one, a window may take "Progman"
// for the time being (a classic shell that has not answered yet): the search goes on and
// moves it once the worker is there. Without a shell the window is left hidden and
// top-level.
bool AttachUnderIcons(const RECT& monitor, bool takeProgmanMeanwhile) {
  HWND progman = FindWindowW(L"Progman", nullptr);
  SendMessageTimeoutW(progman, kSpawnWorker, 0, 0, SMTO_NORMAL, 1000, nullptr);
  HWND layer = FindDesktopLayer(progman);
  HWND parent = layer ? layer : takeProgmanMeanwhile ? progman : nullptr;
  if (parent) MoveIntoParent(parent, monitor);
  return layer != nullptr;
}

void StartAttachRetries() {
  ULONGLONG now = GetTickCount64();
  gApp.nextAttachTry = now + kAttachRetryInterval;
  gApp.attachRetryUntil = now + kAttachRetryPeriod;
}

// A borderless window alone on the monitor would cover every other window: until the
// desktop layer takes it, the window waits, and the layer is looked for once a second.
void StartAttach(const RECT& monitor, bool takeProgmanMeanwhile) {
  StartAttachRetries();
  gApp.wallpaperWaiting = !AttachUnderIcons(monitor, takeProgmanMeanwhile);
}

// The waiting window still covers its monitor, in screen coordinates.
void RetryAttach() {
  RECT monitor = {0, 0, 0, 0};
  GetWindowRect(gApp.mainWindow, &monitor);
  if (AttachUnderIcons(monitor, false)) gApp.wallpaperWaiting = false;
}

// The desktop as leaving wallpaper mode leaves it: the wallpaper set again, when there was
// one, and everything repainted.
void PutBackWallpaper(const std::wstring& path) {
  if (!path.empty())
    SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, (PVOID)path.c_str(),
                          SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
  RedrawWindow(nullptr, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
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
  WriteRestoreRecord(gApp.savedWallpaperPath);
  StartAttach(monitor, true);
}

void ReattachToDesktop(const RECT& monitor) { StartAttach(monitor, false); }

void RestoreDesktop() {
  PutBackWallpaper(gApp.savedWallpaperPath);
  DeleteRestoreRecord();
}

// The recorded wallpaper is set again only while the system still reports it: another one
// (or none it can tell) means the user chose anew meanwhile, and only the repaint is due.
void RestoreDesktopLeftBehind() {
  std::wstring recorded;
  LSTATUS status = ReadRestoreRecord(&recorded);
  if (status == ERROR_FILE_NOT_FOUND) return;
  wchar_t current[kWallpaperPathCapacity] = {};
  bool unchanged =
      status == ERROR_SUCCESS &&
      SystemParametersInfoW(SPI_GETDESKWALLPAPER, kWallpaperPathCapacity, current, 0) &&
      SameTextIgnoringCase(current, recorded.c_str());
  PutBackWallpaper(unchanged ? recorded : std::wstring());
  DeleteRestoreRecord();
}

void FitWallpaperToMonitor(const RECT& monitor) {
  HWND parent = GetParent(gApp.mainWindow);
  if (parent)
    PlaceInParent(parent, monitor, 0);
  else
    SetWindowPos(gApp.mainWindow, nullptr, monitor.left, monitor.top,
                 monitor.right - monitor.left, monitor.bottom - monitor.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
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
    RecreateWallpaperWindow();
    return;
  }
  ULONGLONG now = GetTickCount64();
  if (!gApp.wallpaperWaiting || now < gApp.nextAttachTry || now > gApp.attachRetryUntil) return;
  gApp.nextAttachTry = now + kAttachRetryInterval;
  RetryAttach();
}

void ReattachAfterShellStart() {
  if (!gApp.wallpaperActive || !gApp.mainWindow) return;
  StartAttachRetries();
  if (!WallpaperOnDesktopLayer()) gApp.wallpaperWaiting = true;
  if (gApp.wallpaperWaiting) RetryAttach();
}

bool WallpaperOnDesktopLayer() {
  HWND parent = GetParent(gApp.mainWindow);
  return parent && parent == FindDesktopLayer(FindWindowW(L"Progman", nullptr));
}
