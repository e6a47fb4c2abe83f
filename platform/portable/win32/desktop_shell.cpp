// The desktop shell's windows ("Progman" with the icon view "SHELLDLL_DefView", and the
// "WorkerW" that message 0x052C makes behind the icons) in the layouts of Windows 10 and 11,
// window search and enumeration, the wallpaper setting with its place in the user's profile,
// and the desktop repaint. Left out: the icons, the shell's painting of the wallpaper, and
// what the shell does to other programs' windows beyond destroying them when it ends.
#include <algorithm>

#include "win32/desktop_internal.h"
#include "win32/kernel.h"
#include "win32/registry.h"

namespace {

const UINT kSpawnWorker = 0x052C;
const wchar_t kProfileKey[] = L"Control Panel\\Desktop";
const wchar_t kProfileValue[] = L"Wallpaper";
const DWORD kWallpaperCapacity = 520;

std::wstring wallpaperPath;
// The session's wallpaper comes from the profile the first time it is needed.
bool wallpaperKnown = false;
int failingReads = 0;
int wallpaperWrites = 0;
int repaints = 0;

bool Matches(HWND handle, LPCWSTR className, LPCWSTR windowName) {
  desktop::Window* window = desktop::Find(handle);
  if (!window) return false;
  if (className && !desktop::SameName(window->windowClass.name, className)) return false;
  return !windowName || window->title == windowName;
}

HWND CreateShellWindow(LPCWSTR className, LPCWSTR title, HWND parent, DWORD exStyle = 0) {
  RECT screen = desktop::VirtualScreen();
  DWORD style = (parent ? WS_CHILD : WS_POPUP) | WS_VISIBLE | WS_CLIPCHILDREN;
  int x = parent ? 0 : screen.left, y = parent ? 0 : screen.top;
  return CreateWindowExW(exStyle, className, title, style, x, y, screen.right - screen.left,
                         screen.bottom - screen.top, parent, nullptr, nullptr, nullptr);
}

// The new worker window sits behind the icons: right after "Progman" among the top-level
// windows (classic shell), or at the bottom inside "Progman" (newer shells).
void SpawnWorker(HWND progman) {
  desktop::Desktop& d = desktop::State();
  if (IsWindow(d.worker)) return;
  bool nested = d.layout != PortableShellLayout::Classic;
  HWND worker = CreateShellWindow(L"WorkerW", L"", nested ? progman : nullptr);
  if (!worker) return;
  d.worker = worker;
  desktop::Window* window = desktop::Find(worker);
  std::vector<HWND>& siblings = desktop::Siblings(*window);
  siblings.erase(std::remove(siblings.begin(), siblings.end(), worker), siblings.end());
  auto place = nested ? siblings.end() : std::find(siblings.begin(), siblings.end(), progman);
  siblings.insert(place == siblings.end() ? place : place + 1, worker);
}

LRESULT CALLBACK ShellWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kSpawnWorker && desktop::SameName(desktop::Find(window)->windowClass.name,
                                                   L"Progman")) {
    SpawnWorker(window);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// As at logon: the wallpaper the user's profile names, else none.
void KnowWallpaper() {
  if (wallpaperKnown) return;
  wallpaperKnown = true;
  wchar_t path[kWallpaperCapacity] = {};
  DWORD size = sizeof(path);
  if (RegGetValueW(HKEY_CURRENT_USER, kProfileKey, kProfileValue, RRF_RT_REG_SZ, nullptr, path,
                   &size) == ERROR_SUCCESS)
    wallpaperPath = path;
}

}  // namespace

namespace desktop {

void CreateDesktopWindows() {
  if (State().layout == PortableShellLayout::None) return;
  DWORD exStyle = State().layout == PortableShellLayout::Raised ? WS_EX_NOREDIRECTIONBITMAP : 0;
  HWND progman = CreateShellWindow(L"Progman", L"Program Manager", nullptr, exStyle);
  CreateShellWindow(L"SHELLDLL_DefView", L"", progman);
  SetWindowPos(progman, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void BuildShell() {
  Desktop& d = State();
  for (const wchar_t* name : {L"Progman", L"SHELLDLL_DefView", L"WorkerW"}) {
    WindowClass shellClass;
    shellClass.name = name;
    shellClass.proc = ShellWindowProc;
    shellClass.shell = true;
    d.classes.push_back(shellClass);
  }
  CreateDesktopWindows();
}

void ResetWallpaper() {
  wallpaperPath.clear();
  wallpaperKnown = true;
  failingReads = 0;
  wallpaperWrites = 0;
  repaints = 0;
}

}  // namespace desktop

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
  return FindWindowExW(nullptr, nullptr, className, windowName);
}

HWND FindWindowExW(HWND parent, HWND childAfter, LPCWSTR className, LPCWSTR windowName) {
  desktop::Window* parentWindow = desktop::Find(parent);
  if (parent && !parentWindow) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  const std::vector<HWND>& list = parentWindow ? parentWindow->children
                                               : desktop::State().topLevel;
  auto it = list.begin();
  if (childAfter) {
    it = std::find(list.begin(), list.end(), childAfter);
    if (it == list.end()) return nullptr;
    ++it;
  }
  for (; it != list.end(); ++it)
    if (Matches(*it, className, windowName)) return *it;
  return nullptr;
}

BOOL EnumWindows(WNDENUMPROC callback, LPARAM param) {
  std::vector<HWND> snapshot = desktop::State().topLevel;
  for (HWND handle : snapshot)
    if (IsWindow(handle) && !callback(handle, param)) return FALSE;
  return TRUE;
}

BOOL RedrawWindow(HWND window, const RECT*, HRGN, UINT) {
  if (window && !IsWindow(window)) return FALSE;
  if (!window) ++repaints;
  return TRUE;
}

BOOL SystemParametersInfoW(UINT action, UINT param, PVOID data, UINT winIni) {
  KnowWallpaper();
  if (action == SPI_GETDESKWALLPAPER && data && param > 0) {
    if (failingReads > 0) {
      --failingReads;
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    size_t count = std::min<size_t>(wallpaperPath.size(), param - 1);
    std::copy(wallpaperPath.begin(), wallpaperPath.begin() + count, (wchar_t*)data);
    ((wchar_t*)data)[count] = 0;
    return TRUE;
  }
  if (action == SPI_SETDESKWALLPAPER) {
    wallpaperPath = data ? (const wchar_t*)data : L"";
    ++wallpaperWrites;
    if (winIni & SPIF_UPDATEINIFILE)
      RegSetKeyValueW(HKEY_CURRENT_USER, kProfileKey, kProfileValue, REG_SZ, wallpaperPath.c_str(),
                      (DWORD)((wallpaperPath.size() + 1) * sizeof(wchar_t)));
    return TRUE;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

void PortableEndShell() {
  desktop::Desktop& d = desktop::State();
  std::vector<HWND> shellWindows;
  for (HWND handle : d.topLevel)
    if (desktop::Find(handle)->windowClass.shell) shellWindows.push_back(handle);
  for (HWND handle : shellWindows)
    if (IsWindow(handle)) DestroyWindow(handle);
  d.worker = nullptr;
  desktop::ForgetTrayIcons();
}

void PortableStartDesktopWindows(PortableShellLayout layout) {
  desktop::State().layout = layout;
  desktop::CreateDesktopWindows();
}

void PortableStartShell(PortableShellLayout layout) {
  PortableStartDesktopWindows(layout);
  PortableRestartTaskbar();
}

void PortableEndShellAtNextParent() { desktop::State().endShellAtNextParent = true; }

void PortableSetWallpaperPath(const std::wstring& path) {
  wallpaperKnown = true;
  wallpaperPath = path;
}
std::wstring PortableWallpaperPath() {
  KnowWallpaper();
  return wallpaperPath;
}
void PortableFailWallpaperReads(int count) { failingReads = count; }
int PortableWallpaperWriteCount() { return wallpaperWrites; }
int PortableDesktopRepaintCount() { return repaints; }
