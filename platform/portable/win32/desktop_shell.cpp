// The desktop shell's windows ("Progman" with the icon view "SHELLDLL_DefView", and the
// "WorkerW" that message 0x052C makes behind the icons), window search and enumeration,
// the wallpaper setting and the desktop repaint.
#include <algorithm>

#include "win32/desktop_internal.h"
#include "win32/kernel.h"

namespace {

const UINT kSpawnWorker = 0x052C;

std::wstring wallpaperPath;
int failingReads = 0;
int wallpaperWrites = 0;
int repaints = 0;

bool Matches(HWND handle, LPCWSTR className, LPCWSTR windowName) {
  desktop::Window* window = desktop::Find(handle);
  if (!window) return false;
  if (className && !desktop::SameName(window->windowClass.name, className)) return false;
  return !windowName || window->title == windowName;
}

HWND CreateShellWindow(LPCWSTR className, LPCWSTR title, HWND parent) {
  RECT screen = desktop::VirtualScreen();
  DWORD style = (parent ? WS_CHILD : WS_POPUP) | WS_VISIBLE | WS_CLIPCHILDREN;
  int x = parent ? 0 : screen.left, y = parent ? 0 : screen.top;
  return CreateWindowExW(0, className, title, style, x, y, screen.right - screen.left,
                         screen.bottom - screen.top, parent, nullptr, nullptr, nullptr);
}

// The new worker window sits behind the icons: right after "Progman" among the top-level
// windows (classic shell), or below the icon view inside "Progman" (newer shell).
void SpawnWorker(HWND progman) {
  desktop::Desktop& d = desktop::State();
  if (IsWindow(d.worker)) return;
  bool nested = d.layout == PortableShellLayout::Nested;
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

}  // namespace

namespace desktop {

void CreateDesktopWindows() {
  if (State().layout == PortableShellLayout::None) return;
  HWND progman = CreateShellWindow(L"Progman", L"Program Manager", nullptr);
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

BOOL SystemParametersInfoW(UINT action, UINT param, PVOID data, UINT) {
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

void PortableSetWallpaperPath(const std::wstring& path) { wallpaperPath = path; }
std::wstring PortableWallpaperPath() { return wallpaperPath; }
void PortableFailWallpaperReads(int count) { failingReads = count; }
int PortableWallpaperWriteCount() { return wallpaperWrites; }
int PortableDesktopRepaintCount() { return repaints; }
