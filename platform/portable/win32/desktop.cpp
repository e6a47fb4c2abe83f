// The portable desktop's windows: classes, creation and destruction with Windows' message
// order, rectangles and frames, parents and Z order, visibility, monitors and their display
// modes, cursor, icons, the clock that tests may freeze, and the desktop's reset for tests.
#include <time.h>

#include <algorithm>
#include <cwctype>

#include "win32/clock.h"
#include "win32/desktop_internal.h"
#include "win32/kernel.h"

namespace desktop {

namespace {

// Windows 10 metrics at 96 DPI, so that a 1280 x 720 client area needs the same outer
// rectangle here as there.
const LONG kSizingFrame = 8;
const LONG kDialogFrame = 3;
const LONG kThinBorder = 1;
const LONG kCaption = 23;
const LONG kMenuBar = 20;
const LONG kMinimizedPosition = -32000;

// A handle the program never owns: what SetParent reports as the old parent of a window
// that had none, as Windows reports its desktop window.
const HWND kDesktopWindow = (HWND)(uintptr_t)0x10010;

bool built = false;

RECT FrameInsets(DWORD style) {
  LONG side = 0;
  if (style & WS_THICKFRAME)
    side = kSizingFrame;
  else if (style & WS_DLGFRAME)
    side = kDialogFrame;
  else if (style & WS_BORDER)
    side = kThinBorder;
  LONG top = side + ((style & WS_CAPTION) == WS_CAPTION ? kCaption : 0);
  return {side, top, side, side};
}

POINT ClientOrigin(const Window& window);

POINT ParentClientOrigin(const Window& window) {
  Window* parent = Find(window.parent);
  return parent ? ClientOrigin(*parent) : POINT{0, 0};
}

RECT ScreenRect(const Window& window) {
  POINT origin = ParentClientOrigin(window);
  return {window.rect.left + origin.x, window.rect.top + origin.y, window.rect.right + origin.x,
          window.rect.bottom + origin.y};
}

POINT ClientOrigin(const Window& window) {
  RECT screen = ScreenRect(window);
  RECT frame = FrameInsets(window.style);
  return {screen.left + frame.left, screen.top + frame.top};
}

SIZE_T Area(const RECT& r) {
  return r.right > r.left && r.bottom > r.top ? (SIZE_T)(r.right - r.left) * (r.bottom - r.top)
                                              : 0;
}

RECT Intersection(const RECT& a, const RECT& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

// Squared distance between two rectangles (0 when they touch or overlap).
long long Distance(const RECT& a, const RECT& b) {
  long long dx = std::max<long long>(0, std::max(a.left - b.right, b.left - a.right));
  long long dy = std::max<long long>(0, std::max(a.top - b.bottom, b.top - a.bottom));
  return dx * dx + dy * dy;
}

HMONITOR MonitorHandle(size_t index) { return (HMONITOR)(uintptr_t)(0x4000 + index); }
size_t MonitorIndex(HMONITOR monitor) { return (size_t)((uintptr_t)monitor - 0x4000); }

// What the monitor's mode says: a stored 0 or 1 stands for the hardware's default.
DWORD StoredRefreshRate(size_t index) {
  const std::vector<DWORD>& rates = State().refreshRates;
  return index < rates.size() ? rates[index] : 60;
}

std::wstring DeviceName(size_t index) { return L"\\\\.\\DISPLAY" + std::to_wstring(index + 1); }

HMONITOR MonitorOfRect(const RECT& rect, DWORD flags) {
  const std::vector<RECT>& monitors = State().monitors;
  size_t best = 0;
  SIZE_T bestArea = 0;
  for (size_t i = 0; i < monitors.size(); ++i) {
    SIZE_T area = Area(Intersection(rect, monitors[i]));
    if (area > bestArea) best = i, bestArea = area;
  }
  if (bestArea > 0) return MonitorHandle(best);
  if (flags == MONITOR_DEFAULTTOPRIMARY) return MonitorHandle(0);
  if (flags != MONITOR_DEFAULTTONEAREST) return nullptr;
  long long nearest = -1;
  for (size_t i = 0; i < monitors.size(); ++i) {
    long long d = Distance(rect, monitors[i]);
    if (nearest < 0 || d < nearest) best = i, nearest = d;
  }
  return MonitorHandle(best);
}

void SendSize(Window& window) {
  RECT client = {0, 0, 0, 0};
  GetClientRect(window.handle, &client);
  WPARAM kind = (window.style & WS_MINIMIZE) ? SIZE_MINIMIZED : SIZE_RESTORED;
  SendMessageW(window.handle, WM_SIZE, kind, MAKELPARAM(client.right, client.bottom));
}

void SendMove(Window& window) {
  POINT origin = ClientOrigin(window);
  POINT parent = ParentClientOrigin(window);
  SendMessageW(window.handle, WM_MOVE, 0, MAKELPARAM(origin.x - parent.x, origin.y - parent.y));
}

void SetVisible(HWND handle, bool visible) {
  Window* window = Find(handle);
  if (!window || ((window->style & WS_VISIBLE) != 0) == visible) return;
  SendMessageW(handle, WM_SHOWWINDOW, visible, 0);
  if ((window = Find(handle))) window->style = visible ? window->style | WS_VISIBLE
                                                       : window->style & ~WS_VISIBLE;
  if (visible) Invalidate(handle);
  RaiseWinEvent(visible ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE, handle);
}

void MarkDestroying(HWND handle) {
  Window* window = Find(handle);
  if (!window) return;
  window->destroying = true;
  for (HWND child : window->children) MarkDestroying(child);
}

// WM_DESTROY goes to the window before its children, as on Windows.
void SendDestroy(HWND handle) {
  if (!Find(handle)) return;
  SendMessageW(handle, WM_DESTROY, 0, 0);
  Window* window = Find(handle);
  if (!window) return;
  std::vector<HWND> children = window->children;
  for (HWND child : children) SendDestroy(child);
}

bool Topmost(HWND handle) {
  Window* window = Find(handle);
  return window && !window->parent && (window->exStyle & WS_EX_TOPMOST);
}

// Moves the window within its siblings. Top-level windows keep to their band: topmost
// windows stand above all others, and a window moves between the bands only by
// HWND_TOPMOST, HWND_NOTOPMOST or (out of the topmost band) HWND_BOTTOM, as on Windows.
void Reorder(Window& window, HWND insertAfter) {
  bool topLevel = !window.parent;
  if (topLevel && insertAfter == HWND_NOTOPMOST) {
    if (!(window.exStyle & WS_EX_TOPMOST)) return;
    window.exStyle &= ~WS_EX_TOPMOST;
    insertAfter = HWND_TOP;
  } else if (topLevel && insertAfter == HWND_TOPMOST) {
    window.exStyle |= WS_EX_TOPMOST;
    insertAfter = HWND_TOP;
  } else if (topLevel && insertAfter == HWND_BOTTOM) {
    window.exStyle &= ~WS_EX_TOPMOST;
  }
  std::vector<HWND>& siblings = Siblings(window);
  siblings.erase(std::remove(siblings.begin(), siblings.end(), window.handle), siblings.end());
  auto first = siblings.begin(), last = siblings.end();
  if (topLevel) {
    auto normal = std::find_if(siblings.begin(), siblings.end(), [](HWND h) { return !Topmost(h); });
    if (window.exStyle & WS_EX_TOPMOST)
      last = normal;
    else
      first = normal;
  }
  auto place = first;
  if (insertAfter == HWND_BOTTOM) {
    place = last;
  } else if (insertAfter != HWND_TOP) {
    auto found = std::find(siblings.begin(), siblings.end(), insertAfter);
    if (found != siblings.end()) place = std::clamp(found + 1, first, last);
  }
  siblings.insert(place, window.handle);
}

void Unlink(Window& window) {
  std::vector<HWND>& siblings = Siblings(window);
  siblings.erase(std::remove(siblings.begin(), siblings.end(), window.handle), siblings.end());
}

// WM_NCDESTROY goes to the children first; then the record is gone.
void Free(HWND handle, bool notify) {
  Window* window = Find(handle);
  if (!window) return;
  std::vector<HWND> children = window->children;
  for (HWND child : children) Free(child, notify);
  if (notify) SendMessageW(handle, WM_NCDESTROY, 0, 0);
  if (!(window = Find(handle))) return;
  Unlink(*window);
  Desktop& d = State();
  if (d.foreground == handle) d.foreground = nullptr;
  d.windows.erase(handle);
}

void ResetTo(PortableShellLayout layout, std::vector<RECT> monitors) {
  Desktop& d = State();
  for (HWND handle : std::vector<HWND>(d.topLevel)) Free(handle, false);
  d = Desktop{};
  built = true;
  d.layout = layout;
  d.monitors = std::move(monitors);
  ResetQueue();
  ResetMenus();
  ResetTray();
  ResetWallpaper();
  ResetMessageBoxes();
  ResetWinEvents();
  ResetSystemNotices();
  ResetOtherPrograms();
  BuildShell();
}

struct ClockState {
  bool frozen = false;
  bool captured = false;
  LONGLONG frozenAt = 0;
  double advanced = 0.0;
  bool virtualWaits = false;
  LONGLONG waited = 0;  // milliseconds of virtual waits, kept whole so that they add up exactly
};
ClockState virtualClock;

}  // namespace

bool SameName(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return i == a.size() && !b[i];
}

Desktop& State() {
  static Desktop desktop;
  if (!built) {
    built = true;
    BuildShell();
  }
  return desktop;
}

void Invalidate(HWND handle) {
  Window* window = Find(handle);
  if (!window || window->process != 0 || window->invalid) return;
  window->invalid = true;
  NoteNewInput();
}

Window* Find(HWND handle) {
  if (!handle) return nullptr;
  Desktop& d = State();
  auto found = d.windows.find(handle);
  return found == d.windows.end() ? nullptr : found->second.get();
}

std::vector<HWND>& Siblings(Window& window) {
  Window* parent = Find(window.parent);
  return parent ? parent->children : State().topLevel;
}

RECT VirtualScreen() {
  const std::vector<RECT>& monitors = State().monitors;
  RECT all = monitors.front();
  for (const RECT& m : monitors)
    all = {std::min(all.left, m.left), std::min(all.top, m.top), std::max(all.right, m.right),
           std::max(all.bottom, m.bottom)};
  return all;
}

}  // namespace desktop

using namespace desktop;

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass) {
  if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXW) || !windowClass->lpszClassName ||
      !windowClass->lpfnWndProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Desktop& d = State();
  for (const WindowClass& known : d.classes)
    if (SameName(known.name, windowClass->lpszClassName)) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      return 0;
    }
  WindowClass added;
  added.name = windowClass->lpszClassName;
  added.style = windowClass->style;
  added.proc = windowClass->lpfnWndProc;
  added.instance = windowClass->hInstance;
  added.cursor = windowClass->hCursor;
  d.classes.push_back(added);
  return (ATOM)(0xC000 + d.classes.size());
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  Desktop& d = State();
  const WindowClass* windowClass = nullptr;
  for (const WindowClass& known : d.classes)
    if (className && SameName(known.name, className)) windowClass = &known;
  if (!windowClass) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  if (parent && !Find(parent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if ((style & WS_CHILD) && !parent) {
    SetLastError(ERROR_TLW_WITH_WSCHILD);
    return nullptr;
  }
  // Overlapped windows always get a caption and clip their siblings.
  if (!(style & (WS_POPUP | WS_CHILD))) style |= WS_CAPTION | WS_CLIPSIBLINGS;
  if (x == CW_USEDEFAULT) x = y = 0;
  if (width == CW_USEDEFAULT) width = height = 0;

  auto created = std::make_unique<Window>();
  Window& window = *created;
  window.handle = (HWND)d.nextHandle;
  d.nextHandle += 4;
  window.windowClass = *windowClass;
  window.title = windowName ? windowName : L"";
  window.style = style & ~WS_VISIBLE;
  window.exStyle = exStyle;
  window.parent = (style & WS_CHILD) ? parent : nullptr;
  window.process = windowClass->shell ? kShellProcess : 0;
  window.rect = {x, y, x + std::max(width, 0), y + std::max(height, 0)};
  HWND handle = window.handle;
  d.windows[handle] = std::move(created);
  Siblings(window).push_back(handle);
  Reorder(window, HWND_TOP);
  d.created.push_back(handle);

  CREATESTRUCTW create = {param, instance, menu, parent, height, width, y, x, (LONG)style,
                          windowName, className, exStyle};
  if (!SendMessageW(handle, WM_NCCREATE, 0, (LPARAM)&create)) {
    Free(handle, true);
    return nullptr;
  }
  if (SendMessageW(handle, WM_CREATE, 0, (LPARAM)&create) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  Window* alive = Find(handle);
  if (!alive) return nullptr;
  SendSize(*alive);
  if ((alive = Find(handle))) SendMove(*alive);
  if (style & WS_VISIBLE) SetVisible(handle, true);
  return Find(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND handle) {
  Window* window = Find(handle);
  if (!window || window->destroying) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  MarkDestroying(handle);
  SetVisible(handle, false);
  SendDestroy(handle);
  Free(handle, true);
  return TRUE;
}

BOOL IsWindow(HWND handle) { return Find(handle) != nullptr; }

BOOL IsWindowVisible(HWND handle) {
  for (Window* window = Find(handle); window; window = Find(window->parent))
    if (!(window->style & WS_VISIBLE)) return FALSE;
  return Find(handle) != nullptr;
}

BOOL ShowWindow(HWND handle, int command) {
  Window* window = Find(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  BOOL wasVisible = (window->style & WS_VISIBLE) != 0;
  switch (command) {
    case SW_HIDE:
      SetVisible(handle, false);
      break;
    case SW_MINIMIZE:
      SetVisible(handle, true);
      if ((window = Find(handle)) && !(window->style & WS_MINIMIZE)) {
        // As on Windows, a minimised window is parked far off screen; its rectangle then
        // says nothing about where the user left it.
        window->normalRect = window->rect;
        window->rect = {kMinimizedPosition, kMinimizedPosition, kMinimizedPosition + 160,
                        kMinimizedPosition + 28};
        window->style |= WS_MINIMIZE;
        SendSize(*window);
        RaiseWinEvent(EVENT_SYSTEM_MINIMIZESTART, handle);
      }
      break;
    default:
      SetVisible(handle, true);
      if ((window = Find(handle)) && (window->style & WS_MINIMIZE) && command != SW_SHOW) {
        window->rect = window->normalRect;
        window->style &= ~WS_MINIMIZE;
        Invalidate(handle);
        SendSize(*window);
        RaiseWinEvent(EVENT_SYSTEM_MINIMIZEEND, handle);
      }
      break;
  }
  return wasVisible;
}

BOOL SetWindowPos(HWND handle, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  Window* window = Find(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  RECT before = window->rect;
  RECT after = before;
  if (!(flags & SWP_NOMOVE)) {
    after.right += x - after.left, after.bottom += y - after.top;
    after.left = x, after.top = y;
  }
  if (!(flags & SWP_NOSIZE))
    after.right = after.left + std::max(cx, 0), after.bottom = after.top + std::max(cy, 0);
  window->rect = after;
  if (!(flags & SWP_NOZORDER)) Reorder(*window, insertAfter);
  if (flags & SWP_HIDEWINDOW) SetVisible(handle, false);
  if (flags & SWP_SHOWWINDOW) SetVisible(handle, true);
  bool resized = (before.right - before.left) != (after.right - after.left) ||
                 (before.bottom - before.top) != (after.bottom - after.top);
  bool moved = before.left != after.left || before.top != after.top;
  if (resized) Invalidate(handle);
  if (resized && (window = Find(handle))) SendSize(*window);
  if (moved && (window = Find(handle))) SendMove(*window);
  return TRUE;
}

BOOL GetWindowRect(HWND handle, RECT* rect) {
  Window* window = Find(handle);
  if (!window || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = ScreenRect(*window);
  return TRUE;
}

BOOL GetClientRect(HWND handle, RECT* rect) {
  Window* window = Find(handle);
  if (!window || !rect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  RECT frame = FrameInsets(window->style);
  LONG width = window->rect.right - window->rect.left - frame.left - frame.right;
  LONG height = window->rect.bottom - window->rect.top - frame.top - frame.bottom;
  if (window->style & WS_MINIMIZE) width = height = 0;
  *rect = {0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
  return TRUE;
}

BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu) {
  if (!rect) return FALSE;
  RECT frame = FrameInsets(style);
  rect->left -= frame.left;
  rect->top -= frame.top + (menu ? kMenuBar : 0);
  rect->right += frame.right;
  rect->bottom += frame.bottom;
  return TRUE;
}

LONG_PTR GetWindowLongPtrW(HWND handle, int index) {
  Window* window = Find(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (index == GWL_STYLE) return (LONG_PTR)window->style;
  if (index == GWL_EXSTYLE) return (LONG_PTR)window->exStyle;
  SetLastError(ERROR_INVALID_PARAMETER);
  return 0;
}

LONG_PTR SetWindowLongPtrW(HWND handle, int index, LONG_PTR value) {
  Window* window = Find(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  DWORD* field = index == GWL_STYLE     ? &window->style
                 : index == GWL_EXSTYLE ? &window->exStyle
                                        : nullptr;
  if (!field) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD previous = *field;
  *field = (DWORD)value;
  if (index == GWL_EXSTYLE && !(window->exStyle & WS_EX_LAYERED)) window->layeredSet = false;
  return (LONG_PTR)previous;
}

BOOL SetLayeredWindowAttributes(HWND handle, COLORREF key, BYTE alpha, DWORD flags) {
  Window* window = Find(handle);
  if (!window || !(window->exStyle & WS_EX_LAYERED)) {
    SetLastError(window ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  window->layeredSet = true;
  window->layeredKey = key;
  window->layeredAlpha = alpha;
  window->layeredFlags = flags;
  return TRUE;
}

BOOL GetLayeredWindowAttributes(HWND handle, COLORREF* key, BYTE* alpha, DWORD* flags) {
  Window* window = Find(handle);
  if (!window || !(window->exStyle & WS_EX_LAYERED) || !window->layeredSet) {
    SetLastError(window ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (key) *key = window->layeredKey;
  if (alpha) *alpha = window->layeredAlpha;
  if (flags) *flags = window->layeredFlags;
  return TRUE;
}

HWND SetParent(HWND child, HWND newParent) {
  Window* window = Find(child);
  if (!window || (newParent && !Find(newParent))) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  for (Window* up = Find(newParent); up; up = Find(up->parent))
    if (up->handle == child) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  HWND previous = window->parent ? window->parent : kDesktopWindow;
  Unlink(*window);
  window->parent = newParent;
  std::vector<HWND>& siblings = Siblings(*window);
  siblings.insert(siblings.begin(), child);
  Desktop& d = State();
  Window* parent = Find(newParent);
  if (d.endShellAtNextParent && parent && parent->windowClass.shell) {
    d.endShellAtNextParent = false;
    PortableEndShell();
  }
  return previous;
}

BOOL ValidateRect(HWND handle, const RECT*) {
  Window* window = Find(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  window->invalid = false;
  return TRUE;
}

void PortableExposeWindow(HWND window) { Invalidate(window); }

HWND GetParent(HWND handle) {
  Window* window = Find(handle);
  return window ? window->parent : nullptr;
}

BOOL ScreenToClient(HWND handle, POINT* point) {
  Window* window = Find(handle);
  if (!window || !point) return FALSE;
  POINT origin = ClientOrigin(*window);
  point->x -= origin.x;
  point->y -= origin.y;
  return TRUE;
}

BOOL SetWindowTextW(HWND handle, LPCWSTR text) {
  if (!Find(handle)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return (BOOL)SendMessageW(handle, WM_SETTEXT, 0, (LPARAM)(text ? text : L""));
}

int GetWindowTextW(HWND handle, LPWSTR text, int maxCount) {
  Window* window = Find(handle);
  if (!window || !text || maxCount <= 0) return 0;
  int count = (int)std::min<size_t>(window->title.size(), (size_t)maxCount - 1);
  std::copy(window->title.begin(), window->title.begin() + count, text);
  text[count] = 0;
  return count;
}

BOOL SetForegroundWindow(HWND handle) {
  Window* window = Find(handle);
  if (!window) return FALSE;
  while (Find(window->parent)) window = Find(window->parent);
  if (State().foreground == window->handle) return TRUE;
  State().foreground = window->handle;
  RaiseWinEvent(EVENT_SYSTEM_FOREGROUND, window->handle);
  return TRUE;
}

HWND GetForegroundWindow() { return State().foreground; }

HMONITOR MonitorFromPoint(POINT point, DWORD flags) {
  return MonitorOfRect({point.x, point.y, point.x + 1, point.y + 1}, flags);
}

HMONITOR MonitorFromWindow(HWND handle, DWORD flags) {
  Window* window = Find(handle);
  if (!window) return flags == MONITOR_DEFAULTTONULL ? nullptr : MonitorHandle(0);
  return MonitorOfRect(ScreenRect(*window), flags);
}

HMONITOR MonitorFromRect(const RECT* rect, DWORD flags) {
  if (!rect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return MonitorOfRect(*rect, flags);
}

BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info) {
  const std::vector<RECT>& monitors = State().monitors;
  size_t index = MonitorIndex(monitor);
  if (!info || (info->cbSize != sizeof(MONITORINFO) && info->cbSize != sizeof(MONITORINFOEXW)) ||
      index >= monitors.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  info->rcMonitor = monitors[index];
  info->rcWork = monitors[index];
  info->rcWork.bottom -= 40;
  info->dwFlags = index == 0 ? MONITORINFOF_PRIMARY : 0;
  if (info->cbSize == sizeof(MONITORINFOEXW)) {
    std::wstring name = DeviceName(index);
    WCHAR* device = static_cast<MONITORINFOEXW*>(info)->szDevice;
    std::copy(name.begin(), name.end(), device);
    device[name.size()] = 0;
  }
  return TRUE;
}

BOOL EnumDisplaySettingsW(LPCWSTR deviceName, DWORD modeNumber, DEVMODEW* mode) {
  const Desktop& d = State();
  size_t index = 0;
  while (deviceName && index < d.monitors.size() && !SameName(DeviceName(index), deviceName))
    ++index;
  bool known = modeNumber == ENUM_CURRENT_SETTINGS || modeNumber == ENUM_REGISTRY_SETTINGS ||
               modeNumber == 0;
  if (!mode || !known || index >= d.monitors.size()) return FALSE;
  const RECT& m = d.monitors[index];
  mode->dmSpecVersion = DM_SPECVERSION;
  mode->dmDriverExtra = 0;
  mode->dmFields = DM_POSITION | DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFLAGS |
                   DM_DISPLAYFREQUENCY;
  mode->dmPosition = {m.left, m.top};
  mode->dmBitsPerPel = 32;
  mode->dmPelsWidth = (DWORD)(m.right - m.left);
  mode->dmPelsHeight = (DWORD)(m.bottom - m.top);
  mode->dmDisplayFlags = 0;
  mode->dmDisplayFrequency = StoredRefreshRate(index);
  return TRUE;
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
  if (!IS_INTRESOURCE(name) || (instance && (WORD)(ULONG_PTR)name != 1)) {
    SetLastError(ERROR_RESOURCE_NOT_FOUND);
    return nullptr;
  }
  return (HICON)(uintptr_t)(instance ? 0x5001 : 0x6000 + (WORD)(ULONG_PTR)name);
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  if (instance || !IS_INTRESOURCE(name)) {
    SetLastError(ERROR_RESOURCE_NOT_FOUND);
    return nullptr;
  }
  return (HCURSOR)(uintptr_t)(0x7000 + (WORD)(ULONG_PTR)name);
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR previous = State().cursor;
  State().cursor = cursor;
  return previous;
}

BOOL GetCursorPos(POINT* point) {
  if (!point) return FALSE;
  *point = State().cursorPos;
  return TRUE;
}

void PortableResetDesktop(PortableShellLayout layout) {
  virtualClock = ClockState{};
  PortableRefuseHighResolutionTimers(false);
  ResetTo(layout, {{0, 0, 1920, 1080}});
}

void PortableSetMonitors(const std::vector<RECT>& monitors,
                         const std::vector<DWORD>& refreshRates) {
  if (monitors.empty()) return;
  Desktop& d = State();
  d.monitors = monitors;
  d.refreshRates = refreshRates;
  // The shell's windows span the virtual screen; their children fill them.
  RECT screen = VirtualScreen();
  for (auto& [handle, window] : d.windows) {
    if (!window->windowClass.shell) continue;
    window->rect = {0, 0, screen.right - screen.left, screen.bottom - screen.top};
    if (!window->parent) window->rect = screen;
  }
  const RECT& primary = monitors.front();
  const WPARAM kBitsPerPixel = 32;
  SendMessageW(HWND_BROADCAST, WM_DISPLAYCHANGE, kBitsPerPixel,
               MAKELPARAM(primary.right - primary.left, primary.bottom - primary.top));
}

DWORD PortableRefreshRateOf(HWND window) {
  DWORD rate = StoredRefreshRate(MonitorIndex(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST)));
  return rate > 1 ? rate : 60;
}

void PortableShowSecureDesktop(bool shown) { State().secureDesktop = shown; }
bool PortableSecureDesktopShown() { return State().secureDesktop; }

void PortableSetCursorPos(POINT point) { State().cursorPos = point; }
HCURSOR PortableCurrentCursor() { return State().cursor; }

std::vector<HWND> PortableProgramWindows() {
  std::vector<HWND> result;
  for (HWND handle : State().created)
    if (Window* window = Find(handle); window && window->process == 0)
      result.push_back(handle);
  return result;
}

void PortableFreezeClock() { virtualClock.frozen = true; }
void PortableAdvanceClock(double seconds) { virtualClock.advanced += seconds; }

LONGLONG PortableAdjustCounter(LONGLONG realTicks, LONGLONG ticksPerSecond) {
  if (virtualClock.frozen && !virtualClock.captured) {
    virtualClock.frozenAt = realTicks;
    virtualClock.captured = true;
  }
  LONGLONG base = virtualClock.frozen ? virtualClock.frozenAt : realTicks;
  return base + (LONGLONG)(virtualClock.advanced * (double)ticksPerSecond) +
         virtualClock.waited * ticksPerSecond / 1000;
}

void PortableMakeWaitsVirtual(bool on) { virtualClock.virtualWaits = on; }

bool desktop::PassWaitVirtually(DWORD milliseconds) {
  if (!virtualClock.frozen || !virtualClock.virtualWaits) return false;
  virtualClock.waited += milliseconds;
  return true;
}

DWORD desktop::ProcessOf(const Window& window) {
  return window.process ? window.process : GetCurrentProcessId();
}

DWORD GetWindowThreadProcessId(HWND handle, DWORD* processId) {
  Window* window = Find(handle);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (processId) *processId = ProcessOf(*window);
  return ProcessOf(*window);
}

int GetClassNameW(HWND handle, LPWSTR className, int maxCount) {
  Window* window = Find(handle);
  if (!window || !className || maxCount <= 0) {
    SetLastError(window ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  const std::wstring& name = window->windowClass.name;
  int count = (int)std::min<size_t>(name.size(), (size_t)maxCount - 1);
  std::copy(name.begin(), name.begin() + count, className);
  className[count] = 0;
  return count;
}

BOOL IsIconic(HWND handle) {
  Window* window = Find(handle);
  return window && (window->style & WS_MINIMIZE) != 0;
}

BOOL ClientToScreen(HWND handle, POINT* point) {
  Window* window = Find(handle);
  if (!window || !point) return FALSE;
  POINT origin = ClientOrigin(*window);
  point->x += origin.x;
  point->y += origin.y;
  return TRUE;
}

HWND GetAncestor(HWND handle, UINT flags) {
  Window* window = Find(handle);
  if (!window) return nullptr;
  if (flags == GA_PARENT) return window->parent ? window->parent : kDesktopWindow;
  if (flags != GA_ROOT && flags != GA_ROOTOWNER) return nullptr;
  while (Find(window->parent)) window = Find(window->parent);
  return window->handle;
}

int GetSystemMetrics(int index) {
  RECT screen = VirtualScreen();
  const RECT& primary = State().monitors.front();
  switch (index) {
    case SM_CXSCREEN:
      return primary.right - primary.left;
    case SM_CYSCREEN:
      return primary.bottom - primary.top;
    case SM_XVIRTUALSCREEN:
      return screen.left;
    case SM_YVIRTUALSCREEN:
      return screen.top;
    case SM_CXVIRTUALSCREEN:
      return screen.right - screen.left;
    case SM_CYVIRTUALSCREEN:
      return screen.bottom - screen.top;
    default:
      return 0;
  }
}

LONGLONG PortableCounterNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

bool PortableClockFrozen() { return virtualClock.frozen; }

void PortableWaitUntilCounter(LONGLONG counter) {
  for (LONGLONG now = PortableCounterNow(); now < counter; now = PortableCounterNow()) {
    if (virtualClock.frozen) {
      // The reading above captured the frozen count, so this moves it exactly.
      virtualClock.frozenAt += counter - now;
      return;
    }
    LONGLONG wait = counter - now;
    timespec span = {(time_t)(wait / kPortableCounterPerSecond),
                     (long)(wait % kPortableCounterPerSecond)};
    nanosleep(&span, nullptr);
  }
}
