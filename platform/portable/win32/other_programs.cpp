// Windows of other programs beside the program's own, and what the compositor and a person
// do to them: cloaking, a move with the mouse, show-desktop.
#include <algorithm>

#include "win32/desktop_internal.h"
#include "win32/dwmapi.h"

namespace {

HRESULT dwmFailure = S_OK;

// Another program handles its own messages; what reaches it here is answered by default.
LRESULT CALLBACK OtherProgramProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

DWORD CloakedReasons(HWND handle) {
  desktop::Window* window = desktop::Find(handle);
  if (window->cloaked) return window->cloaked;
  for (window = desktop::Find(window->parent); window; window = desktop::Find(window->parent))
    if (window->cloaked) return DWM_CLOAKED_INHERITED;
  return 0;
}

}  // namespace

namespace desktop {

void ResetOtherPrograms() { dwmFailure = S_OK; }

}  // namespace desktop

HWND PortableCreateOtherProgramWindow(DWORD processId, const wchar_t* className, DWORD style,
                                      DWORD exStyle, RECT rect) {
  desktop::Desktop& d = desktop::State();
  auto created = std::make_unique<desktop::Window>();
  desktop::Window& window = *created;
  window.handle = (HWND)d.nextHandle;
  d.nextHandle += 4;
  window.windowClass.name = className;
  window.windowClass.proc = OtherProgramProc;
  window.style = style & ~WS_VISIBLE;
  window.exStyle = exStyle;
  window.rect = rect;
  window.process = processId;
  HWND handle = window.handle;
  d.windows[handle] = std::move(created);
  d.topLevel.push_back(handle);
  SetWindowPos(handle, (exStyle & WS_EX_TOPMOST) ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | ((style & WS_VISIBLE) ? SWP_SHOWWINDOW : 0));
  return handle;
}

void PortableCloakWindow(HWND handle, DWORD reasons) {
  desktop::Window* window = desktop::Find(handle);
  if (!window) return;
  bool was = window->cloaked != 0;
  window->cloaked = reasons;
  if (was != (reasons != 0))
    desktop::RaiseWinEvent(reasons ? EVENT_OBJECT_CLOAKED : EVENT_OBJECT_UNCLOAKED, handle);
}

void PortableFailDwm(HRESULT result) { dwmFailure = result; }

void PortableMoveWindowByHand(HWND handle, RECT rect) {
  desktop::RaiseWinEvent(EVENT_SYSTEM_MOVESIZESTART, handle);
  SetWindowPos(handle, nullptr, rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
  desktop::RaiseWinEvent(EVENT_SYSTEM_MOVESIZEEND, handle);
}

// Win+D: the desktop's windows come to the top of the ordinary windows in their order, and
// the one holding the icons takes the foreground.
void PortableShowDesktop() {
  std::vector<HWND> shell;
  for (HWND handle : desktop::State().topLevel)
    if (desktop::Find(handle)->windowClass.shell) shell.push_back(handle);
  for (auto it = shell.rbegin(); it != shell.rend(); ++it)
    SetWindowPos(*it, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  for (HWND handle : shell)
    if (FindWindowExW(handle, nullptr, L"SHELLDLL_DefView", nullptr)) SetForegroundWindow(handle);
}

HRESULT DwmGetWindowAttribute(HWND window, DWORD attribute, PVOID value, DWORD size) {
  if (!IsWindow(window)) return E_HANDLE;
  if (FAILED(dwmFailure)) return dwmFailure;
  if (attribute == DWMWA_CLOAKED && value && size == sizeof(DWORD)) {
    *(DWORD*)value = CloakedReasons(window);
    return S_OK;
  }
  if (attribute == DWMWA_EXTENDED_FRAME_BOUNDS && value && size == sizeof(RECT)) {
    GetWindowRect(window, (RECT*)value);
    return S_OK;
  }
  return E_INVALIDARG;
}
