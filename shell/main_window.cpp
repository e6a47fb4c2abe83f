// The main window in its three display modes: the monitor and rectangle of each, the
// switch that replaces the window and its swap chain, the swap-chain resize, the keys and
// the clicks.
#include "shell/main_window.h"

#include <algorithm>

#include "app/app_state.h"
#include "app/startup.h"
#include "i18n/texts.h"
#include "render/device_recovery.h"
#include "render/renderer.h"
#include "shell/desktop.h"
#include "shell/settings.h"
#include "shell/tray.h"
#include "shell/window_classes.h"

namespace {

const LONG kFirstClientWidth = 1280;
const LONG kFirstClientHeight = 720;

HMONITOR PrimaryMonitor() { return MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY); }

RECT MonitorRect(HMONITOR monitor) {
  MONITORINFO info = {};
  info.cbSize = sizeof(MONITORINFO);
  GetMonitorInfoW(monitor, &info);
  return info.rcMonitor;
}

// The monitor that holds most of the current window, or the primary one at start and when
// leaving the wallpaper. Leaving the windowed window first remembers where the user left it.
RECT ChooseMonitor() {
  HMONITOR monitor = nullptr;
  if (!gApp.mainWindow || gApp.wallpaperActive) {
    monitor = PrimaryMonitor();
  } else {
    LONG_PTR style = GetWindowLongPtrW(gApp.mainWindow, GWL_STYLE);
    if ((style & (WS_CAPTION | WS_MINIMIZE)) == (WS_CAPTION | WS_MINIMIZE)) {
      // A minimised window sits far off screen: remembering that rectangle and style would
      // bring the next windowed window back minimised and out of reach.
      ShowWindow(gApp.mainWindow, SW_RESTORE);
      style = GetWindowLongPtrW(gApp.mainWindow, GWL_STYLE);
    }
    if ((style & WS_CAPTION) == WS_CAPTION) {
      gApp.savedWindowStyle = style;
      GetWindowRect(gApp.mainWindow, &gApp.savedWindowRect);
    }
    monitor = MonitorFromWindow(gApp.mainWindow, MONITOR_DEFAULTTONEAREST);
    if (!monitor) monitor = PrimaryMonitor();
  }
  return MonitorRect(monitor);
}

// The swap chain goes with the window; device, shaders and textures stay for the next one.
// A wallpaper window may already be gone with the shell that held it: leaving wallpaper
// mode restores the desktop all the same.
void TearDownMainWindow() {
  ReleaseSwapChain();
  bool wasWallpaper = gApp.wallpaperActive;
  gApp.recreatingWindow = true;
  if (IsWindow(gApp.mainWindow)) DestroyWindow(gApp.mainWindow);
  gApp.recreatingWindow = false;
  gApp.mainWindow = nullptr;
  if (wasWallpaper) RestoreDesktop();
}

// A 1280 x 720 client area in a standard frame, its outer corner at the point that would
// centre 1280 x 720 on the monitor (the frame is deliberately left out of the centring).
RECT DefaultWindowedRect(const RECT& monitor) {
  RECT outer = {0, 0, kFirstClientWidth, kFirstClientHeight};
  AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
  LONG left = monitor.left + (monitor.right - monitor.left - kFirstClientWidth) / 2;
  LONG top = monitor.top + (monitor.bottom - monitor.top - kFirstClientHeight) / 2;
  return {left, top, left + (outer.right - outer.left), top + (outer.bottom - outer.top)};
}

// A saved rectangle that meets no monitor any more (one was removed or moved) is moved onto
// the nearest one, keeping its size, so that the window never opens out of reach.
void KeepOnAMonitor(RECT* rect) {
  if (MonitorFromRect(rect, MONITOR_DEFAULTTONULL)) return;
  MONITORINFO info = {};
  info.cbSize = sizeof(MONITORINFO);
  if (!GetMonitorInfoW(MonitorFromRect(rect, MONITOR_DEFAULTTONEAREST), &info)) return;
  const RECT& m = info.rcMonitor;
  LONG width = rect->right - rect->left, height = rect->bottom - rect->top;
  LONG left = std::max(m.left, std::min(rect->left, m.right - width));
  LONG top = std::max(m.top, std::min(rect->top, m.bottom - height));
  *rect = {left, top, left + width, top + height};
}

// The process ends at once; without this the tray icon and the animated desktop would
// outlive it.
[[noreturn]] void EndAfterFailure(bool restoreDesktop) {
  Shell_NotifyIconW(NIM_DELETE, &gApp.trayIcon);
  if (restoreDesktop) RestoreDesktop();
  ExitProcess(ExitStartFailed);
}

void ToggleFullscreen() {
  if (gApp.wallpaperActive) return;
  SetDisplayMode(gApp.fullscreen ? kModeWindowed : kModeFullscreen);
}

// Minimising and zero sizes keep the swap chain; a failed resize leaves no render target
// (nothing is drawn) until a later one succeeds.
void ResizeSwapChain(WPARAM kind, LPARAM size) {
  UINT width = LOWORD(size), height = HIWORD(size);
  if (kind == SIZE_MINIMIZED || !gApp.swapChain || width == 0 || height == 0) return;
  gApp.context->OMSetRenderTargets(0, nullptr, nullptr);
  ReleaseObject(gApp.renderTargetView);
  gApp.pictureCurrent = false;
  HRESULT result = gApp.swapChain->ResizeBuffers(0, width, height, DXGI_FORMAT_UNKNOWN, 0);
  if (IsDeviceLoss(result)) LoseDevice();
  if (FAILED(result)) return;
  ID3D11Texture2D* buffer = nullptr;
  if (FAILED(gApp.swapChain->GetBuffer(0, IID_ID3D11Texture2D, (void**)&buffer))) return;
  gApp.device->CreateRenderTargetView(buffer, nullptr, &gApp.renderTargetView);
  gApp.renderWidth = (int32_t)width;
  gApp.renderHeight = (int32_t)height;
  buffer->Release();
}

// Bit 30 of a key message's lParam: the key was already down, so this is an auto-repeat.
bool IsRepeat(LPARAM keyData) { return (keyData & (1 << 30)) != 0; }

// Held keys repeat; a toggle acts on the first press only, since each one rebuilds the
// window. The speed steps on every repeat.
void HandleKey(WPARAM key, LPARAM keyData) {
  switch (key) {
    case VK_ESCAPE:
      if (!gApp.wallpaperActive) DestroyWindow(gApp.mainWindow);
      break;
    case VK_TAB:
      SetScene(gApp.scene == kSceneTitle ? kSceneMainMenu : kSceneTitle);
      break;
    case 'T':
      SetScene(kSceneTitle);
      break;
    case 'M':
      SetScene(kSceneMainMenu);
      break;
    case 'F':
    case VK_F11:
      if (!IsRepeat(keyData)) ToggleFullscreen();
      break;
    case VK_UP:
      StepSpeed(+1);
      break;
    case VK_DOWN:
      StepSpeed(-1);
      break;
    default:
      break;
  }
}

// The window of `mode` over `monitor`, shown (or under the icons) and with its swap chain.
// A wallpaper window that the shell takes along before it has one waits for the desktop as
// after any loss to the shell.
void MakeMainWindow(int32_t mode, const RECT& monitor, bool recreated) {
  DWORD style = WS_POPUP, exStyle = 0;
  RECT rect = monitor;
  if (mode == kModeWindowed) {
    if (gApp.savedWindowRect.right <= gApp.savedWindowRect.left)
      gApp.savedWindowRect = DefaultWindowedRect(monitor);
    else
      KeepOnAMonitor(&gApp.savedWindowRect);
    style = (DWORD)gApp.savedWindowStyle;
    rect = gApp.savedWindowRect;
  } else if (mode == kModeFullscreen) {
    exStyle = WS_EX_TOPMOST;
  }
  gApp.mainWindow = CreateWindowExW(exStyle, kMainWindowClass, GetText(AppTitle), style, rect.left,
                                    rect.top, rect.right - rect.left, rect.bottom - rect.top,
                                    nullptr, nullptr, gApp.instance, nullptr);
  if (!gApp.mainWindow) {
    DWORD error = GetLastError();
    ShowErrorBox(GetText(ErrWindow), error);
    EndAfterFailure(false);  // a wallpaper left before was restored on the way
  }

  gApp.wallpaperActive = mode == kModeWallpaper;
  gApp.fullscreen = mode == kModeFullscreen;
  if (recreated) {
    ReattachToDesktop(monitor);
  } else if (gApp.wallpaperActive) {
    AttachToDesktop(monitor);
  } else {
    ShowWindow(gApp.mainWindow, SW_SHOW);
    SetForegroundWindow(gApp.mainWindow);
  }
  if (gApp.wallpaperActive && !IsWindow(gApp.mainWindow)) {
    LoseWallpaperWindow();
    return;
  }
  RECT client = {0, 0, 0, 0};
  GetClientRect(gApp.mainWindow, &client);
  gApp.renderWidth = client.right - client.left;
  gApp.renderHeight = client.bottom - client.top;
  // At start-up the renderer does not exist yet and makes the swap chain itself; a device
  // lost meanwhile makes it when the main loop rebuilds the renderer.
  if (DeviceRemoved()) LoseDevice();
  if (gApp.device && !CreateSwapChain()) EndAfterFailure(gApp.wallpaperActive);
}

}  // namespace

DisplayMode CurrentDisplayMode() {
  if (gApp.wallpaperActive) return kModeWallpaper;
  return gApp.fullscreen ? kModeFullscreen : kModeWindowed;
}

void CreateMainWindow(int32_t mode) {
  RECT monitor = ChooseMonitor();
  if (gApp.mainWindow || gApp.wallpaperActive) TearDownMainWindow();
  MakeMainWindow(mode, monitor, false);
}

void RecreateWallpaperWindow() {
  MakeMainWindow(kModeWallpaper, MonitorRect(PrimaryMonitor()), true);
}

void FitWindowToMonitor() {
  if (!IsWindow(gApp.mainWindow) || (!gApp.fullscreen && !gApp.wallpaperActive)) return;
  MONITORINFO info = {};
  info.cbSize = sizeof(MONITORINFO);
  if (!GetMonitorInfoW(MonitorFromWindow(gApp.mainWindow, MONITOR_DEFAULTTONEAREST), &info))
    return;
  const RECT& m = info.rcMonitor;
  if (gApp.wallpaperActive)
    FitWallpaperToMonitor(m);
  else
    SetWindowPos(gApp.mainWindow, nullptr, m.left, m.top, m.right - m.left, m.bottom - m.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      // A mode change destroys the old window without ending the program, and so does a
      // shell that ends with the wallpaper window inside it.
      if (gApp.recreatingWindow) return 0;
      if (window == gApp.mainWindow && gApp.wallpaperActive && !gApp.quitting)
        LoseWallpaperWindow();
      else
        PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      gApp.quitting = true;
      break;
    case WM_SIZE:
      ResizeSwapChain(wParam, lParam);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      // The picture comes from the swap chain, not from painting: validate, so that no
      // further WM_PAINT comes, and draw the frame again in case the exposure lost it.
      ValidateRect(window, nullptr);
      gApp.pictureCurrent = false;
      return 0;
    case WM_SETCURSOR:
      if (gApp.fullscreen && !gApp.wallpaperActive) {
        SetCursor(nullptr);
        return 1;
      }
      break;
    case WM_KEYDOWN:
      HandleKey(wParam, lParam);
      return 0;
    case WM_SYSKEYDOWN:
      if (wParam != VK_RETURN) break;
      if (!IsRepeat(lParam)) ToggleFullscreen();
      return 0;
    case WM_LBUTTONDBLCLK:
      ToggleFullscreen();
      return 0;
    case WM_RBUTTONUP:
      if (!gApp.wallpaperActive && !gApp.fullscreen) ShowContextMenu(window);
      return 0;
    case WM_COMMAND:
      HandleCommand(LOWORD(wParam));
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
