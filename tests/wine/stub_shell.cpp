// A stand-in for the desktop shell's windows, for the wallpaper tests under Wine, which
// has none: "Progman" titled "Program Manager" holding the icon view "SHELLDLL_DefView",
// and a "WorkerW" that appears when Progman receives message 0x052C, in one of the three
// layouts of the real shell:
//
//   stub_shell                   the icon view moves into a new top-level "WorkerW", and a
//                                second, empty "WorkerW" right behind it in Z order takes
//                                the wallpaper;
//   stub_shell --worker-inside   the wallpaper "WorkerW" is a child of Progman;
//   stub_shell --raised          Windows 11 24H2: Progman carries WS_EX_NOREDIRECTIONBITMAP,
//                                is shown and keeps the icon view; the "WorkerW" is its child
//                                at the bottom, where the shell shows its static wallpaper.
//
// The wallpaper worker (in the raised layout Progman) covers the primary monitor and is the
// one window shown, so a window attached to it is visible on the screen. Once the windows
// exist it broadcasts "TaskbarCreated", as a starting shell does, and prints "ready
// <Progman's handle>"; it prints "worker <handle>" when the wallpaper worker is created.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const UINT kSpawnWorker = 0x052C;
bool gWorkerInside = false;
bool gRaised = false;
HWND gView = nullptr;
HWND gHolder = nullptr;
HWND gWorker = nullptr;

RECT PrimaryMonitorRect() {
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
  return info.rcMonitor;
}

HWND CreateWorker(HWND parent, DWORD style) {
  RECT monitor = PrimaryMonitorRect();
  return CreateWindowExW(parent ? 0 : WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"WorkerW", L"",
                         style | WS_CLIPCHILDREN, parent ? 0 : monitor.left,
                         parent ? 0 : monitor.top, monitor.right - monitor.left,
                         monitor.bottom - monitor.top, parent, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

// The screen-sized worker is managed by the window manager, which may raise it some time
// after it is shown, and Wine then moves it up in Z order too; every tick the hidden icon
// holder is put back right above it, so that the worker follows the holder, as in the real
// shell.
const UINT_PTR kOrderTimer = 1;

void KeepHolderAboveWorker() {
  HWND above = GetWindow(gWorker, GW_HWNDPREV);
  if (above == gHolder) return;
  SetWindowPos(gHolder, above ? above : HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void SpawnWorker(HWND progman) {
  if (gWorkerInside || gRaised) {
    gWorker = CreateWorker(progman, WS_CHILD | WS_VISIBLE);
    SetWindowPos(gWorker, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(progman, SW_SHOWNOACTIVATE);
    return;
  }
  HWND holder = CreateWorker(nullptr, WS_POPUP);
  SetParent(gView, holder);
  gWorker = CreateWorker(nullptr, WS_POPUP);
  gHolder = holder;
  // The wallpaper worker follows the icon holder in Z order: the program looks for the
  // next "WorkerW" after the window that holds the icon view. Both start at the bottom, as
  // the desktop's windows lie.
  SetWindowPos(holder, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowPos(gWorker, holder, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  SetTimer(progman, kOrderTimer, 100, nullptr);
}

LRESULT CALLBACK ProgmanProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kSpawnWorker) {
    if (!gWorker) {
      SpawnWorker(window);
      std::printf("worker %p\n", (void*)gWorker);
      std::fflush(stdout);
    }
    return 0;
  }
  if (message == WM_TIMER && wParam == kOrderTimer) {
    KeepHolderAboveWorker();
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK BlackProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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

int main(int argc, char** argv) {
  gWorkerInside = argc > 1 && std::strcmp(argv[1], "--worker-inside") == 0;
  gRaised = argc > 1 && std::strcmp(argv[1], "--raised") == 0;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterShellClass(L"Progman", ProgmanProc);
  RegisterShellClass(L"SHELLDLL_DefView", DefWindowProcW);
  RegisterShellClass(L"WorkerW", BlackProc);

  RECT monitor = PrimaryMonitorRect();
  DWORD raised = gRaised ? WS_EX_NOREDIRECTIONBITMAP : 0;
  HWND progman = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | raised, L"Progman",
                                 L"Program Manager", WS_POPUP | WS_CLIPCHILDREN, monitor.left,
                                 monitor.top, monitor.right - monitor.left,
                                 monitor.bottom - monitor.top, nullptr, nullptr, instance,
                                 nullptr);
  gView = CreateWindowExW(0, L"SHELLDLL_DefView", L"", WS_CHILD, 0, 0,
                          monitor.right - monitor.left, monitor.bottom - monitor.top, progman,
                          nullptr, instance, nullptr);
  if (!progman || !gView) {
    std::printf("failed %lu\n", GetLastError());
    return 1;
  }
  if (gRaised) ShowWindow(progman, SW_SHOWNOACTIVATE);
  PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  std::printf("ready %p\n", (void*)progman);
  std::fflush(stdout);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
