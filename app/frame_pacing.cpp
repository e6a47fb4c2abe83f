// Frame pacing: Present's sync interval divides the display's refresh down to the frame
// rate, and a waitable timer holds back frames that would come sooner than the rate where
// Present does not wait. Where presenting is of no use (a minimised, hidden or occluded
// window, an unchanged frame) the loop waits instead of spinning.
#include "app/frame_pacing.h"

#include <cstring>

#include "app/app_state.h"
#include "app/frame_rate.h"
#include "app/seen_watch.h"
#include "render/device_recovery.h"
#include "render/renderer.h"

namespace {

const DWORD kIdleMilliseconds = 50;

bool SameFrame(const ShownFrame& a, const ShownFrame& b) {
  return std::memcmp(&a.values, &b.values, sizeof a.values) == 0 && a.width == b.width &&
         a.height == b.height && a.scene == b.scene && a.tone == b.tone;
}

bool MainWindowMinimised() {
  return (GetWindowLongPtrW(gApp.mainWindow, GWL_STYLE) & WS_MINIMIZE) != 0;
}

// The refresh rate of the main window's monitor, read again once the window is on another
// monitor or the display changed (WM_DISPLAYCHANGE forgets it); 0 when it cannot be read.
float MonitorRefreshRate() {
  HMONITOR monitor = MonitorFromWindow(gApp.mainWindow, MONITOR_DEFAULTTONEAREST);
  if (monitor == gApp.refreshMonitor) return gApp.refreshRate;
  MONITORINFOEXW info = {};
  info.cbSize = sizeof(info);
  DEVMODEW mode = {};
  mode.dmSize = sizeof(mode);
  bool read = GetMonitorInfoW(monitor, &info) &&
              EnumDisplaySettingsW(info.szDevice, ENUM_CURRENT_SETTINGS, &mode);
  gApp.refreshMonitor = monitor;
  gApp.refreshRate = read ? (float)mode.dmDisplayFrequency : 0.0f;
  return gApp.refreshRate;
}

// True when the next frame may start now. Otherwise waits on the frame timer until it may
// or a message comes, and the pass draws nothing: the next one looks again, with the time
// and the messages of then.
bool FrameDue(double period) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  int64_t due = gApp.frameSlot + (int64_t)(period * (double)gApp.perfFrequency);
  int64_t early = due - now.QuadPart;
  if (early <= 0) {
    // A frame late by less than a period keeps the rhythm, so that on average none is lost;
    // after a longer gap (a stall, an idle spell) the rhythm starts again from now.
    gApp.frameSlot = now.QuadPart - due < due - gApp.frameSlot ? due : now.QuadPart;
    return true;
  }
  // A relative due time, in 100-nanosecond units rounded up: the timer is never early.
  const int64_t k100nsPerSecond = 10000000;
  LARGE_INTEGER wait;
  wait.QuadPart = -((early * k100nsPerSecond + gApp.perfFrequency - 1) / gApp.perfFrequency);
  if (gApp.frameTimer && SetWaitableTimer(gApp.frameTimer, &wait, 0, nullptr, nullptr, FALSE))
    MsgWaitForMultipleObjects(1, &gApp.frameTimer, FALSE, kIdleMilliseconds, QS_ALLINPUT);
  else
    MsgWaitForMultipleObjects(0, nullptr, FALSE, (DWORD)(-wait.QuadPart / 10000 + 1), QS_ALLINPUT);
  return false;
}

// Nothing is drawn, and whatever the window shows afterwards must be drawn anew.
void Idle() {
  gApp.pictureCurrent = false;
  Sleep(kIdleMilliseconds);
}

}  // namespace

HANDLE CreateFrameTimer() {
  HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                        TIMER_ALL_ACCESS);
  return timer ? timer : CreateWaitableTimerW(nullptr, FALSE, nullptr);
}

void ShowFrame(const AnimValues& values) {
  // A flip-model chain never reports occlusion, so the window's own state says it first.
  if (!gApp.renderTargetView || MainWindowMinimised() || !IsWindowVisible(gApp.mainWindow)) {
    // A resize that failed may have failed because the device went away.
    if (DeviceRemoved()) LoseDevice();
    Idle();
    return;
  }
  if (!PictureSeenNow()) {
    WaitWhileUnseen();
    return;
  }
  if (gApp.occluded) {
    HRESULT test = gApp.swapChain->Present(0, DXGI_PRESENT_TEST);
    if (IsDeviceLoss(test)) LoseDevice();
    if (test == DXGI_STATUS_OCCLUDED || FAILED(test)) {
      Idle();
      return;
    }
    gApp.occluded = false;
  }

  FramePace pace = ChooseFramePace(MonitorRefreshRate(), gApp.frameRate, gApp.powerSaving);
  if (!FrameDue(pace.period)) return;

  ShownFrame frame = {values, gApp.renderWidth, gApp.renderHeight, gApp.scene, gApp.tone};
  if (gApp.pictureCurrent && SameFrame(frame, gApp.picture)) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kIdleMilliseconds, QS_ALLINPUT);
    return;
  }
  if (!DrawFrame(gApp.renderTargetView, (uint32_t)frame.width, (uint32_t)frame.height, values)) {
    if (DeviceRemoved()) LoseDevice();
    Idle();
    return;
  }
  HRESULT result = gApp.swapChain->Present(pace.syncInterval, 0);
  if (IsDeviceLoss(result)) {
    LoseDevice();
    return;
  }
  gApp.occluded = result == DXGI_STATUS_OCCLUDED;
  gApp.pictureCurrent = result == S_OK;
  gApp.picture = frame;
}
