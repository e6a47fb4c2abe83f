// A stand-in for the desktop shell's windows, for the wallpaper tests under Wine, which
// has none: "Progman" titled "Program Manager" holding a "SHELLDLL_DefView" child, and a
// "WorkerW" window behind it that appears when Progman receives message 0x052C, as the
// real shell does. The worker covers the primary monitor and stays at the bottom, so the
// window attached to it is visible on the screen.
//
// Prints "ready" once the windows exist and "worker <handle>" when the worker is created.
#include <windows.h>

#include <cstdio>

namespace {

const UINT kSpawnWorker = 0x052C;
HWND gWorker = nullptr;

RECT PrimaryMonitorRect() {
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
  return info.rcMonitor;
}

LRESULT CALLBACK ProgmanProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kSpawnWorker) {
    if (!gWorker) {
      RECT monitor = PrimaryMonitorRect();
      gWorker = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"WorkerW", L"",
                                WS_POPUP | WS_CLIPCHILDREN, monitor.left, monitor.top,
                                monitor.right - monitor.left, monitor.bottom - monitor.top,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
      // Right behind Progman in Z order: the next "WorkerW" after the window that holds
      // the icon view, which is where the program looks for it.
      SetWindowPos(gWorker, window, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
      std::printf("worker %p\n", (void*)gWorker);
      std::fflush(stdout);
    }
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK WorkerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) {
    RECT client;
    GetClientRect(window, &client);
    FillRect((HDC)wParam, &client, (HBRUSH)GetStockObject(BLACK_BRUSH));
    return 1;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterShellClass(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = name;
  RegisterClassExW(&windowClass);
}

}  // namespace

int main() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterShellClass(L"Progman", ProgmanProc);
  RegisterShellClass(L"SHELLDLL_DefView", DefWindowProcW);
  RegisterShellClass(L"WorkerW", WorkerProc);

  RECT monitor = PrimaryMonitorRect();
  HWND progman = CreateWindowExW(WS_EX_TOOLWINDOW, L"Progman", L"Program Manager", WS_POPUP,
                                 monitor.left, monitor.top, monitor.right - monitor.left,
                                 monitor.bottom - monitor.top, nullptr, nullptr, instance,
                                 nullptr);
  HWND view = CreateWindowExW(0, L"SHELLDLL_DefView", L"", WS_CHILD, 0, 0,
                              monitor.right - monitor.left, monitor.bottom - monitor.top,
                              progman, nullptr, instance, nullptr);
  if (!progman || !view) {
    std::printf("failed %lu\n", GetLastError());
    return 1;
  }
  std::printf("ready %p\n", (void*)progman);
  std::fflush(stdout);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
