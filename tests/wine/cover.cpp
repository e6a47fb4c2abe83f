// Windows of another program over the one under test, for the tests under Wine:
//
//   cover L,T,R,B [L,T,R,B ...]   a borderless window at each rectangle (screen coordinates)
//   cover --maximised             one ordinary window, maximised
//
// Each is filled grey and shown on top. It prints "ready" once they are shown and runs until
// it is ended (its windows go with it) or a window of it is closed.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

LRESULT CALLBACK CoverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateCover(DWORD style, int left, int top, int right, int bottom) {
  return CreateWindowExW(0, L"VelmoraCover", L"cover", style, left, top, right - left,
                         bottom - top, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = CoverProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
  windowClass.lpszClassName = L"VelmoraCover";
  RegisterClassExW(&windowClass);

  for (int i = 1; i < argc; ++i) {
    HWND window = nullptr;
    int left, top, right, bottom;
    if (std::strcmp(argv[i], "--maximised") == 0) {
      window = CreateCover(WS_OVERLAPPEDWINDOW, 100, 100, 600, 400);
      if (window) ShowWindow(window, SW_SHOWMAXIMIZED);
    } else if (std::sscanf(argv[i], "%d,%d,%d,%d", &left, &top, &right, &bottom) == 4) {
      window = CreateCover(WS_POPUP, left, top, right, bottom);
      if (window) ShowWindow(window, SW_SHOW);
    }
    if (!window) {
      std::printf("failed %s %lu\n", argv[i], GetLastError());
      return 1;
    }
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RECT rect;
    GetWindowRect(window, &rect);
    std::printf("window %ld,%ld,%ld,%ld\n", rect.left, rect.top, rect.right, rect.bottom);
  }
  std::printf("ready\n");
  std::fflush(stdout);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
