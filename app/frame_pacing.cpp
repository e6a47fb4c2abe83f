// Frame pacing: the display's refresh paces presents, except where presenting is of no use
// (a minimised or occluded window returns from Present at once, an unchanged frame shows
// nothing new), where the loop waits instead of spinning.
#include "app/frame_pacing.h"

#include <cstring>

#include "app/app_state.h"
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

// Nothing is drawn, and whatever the window shows afterwards must be drawn anew.
void Idle() {
  gApp.pictureCurrent = false;
  Sleep(kIdleMilliseconds);
}

}  // namespace

void ShowFrame(const AnimValues& values) {
  // A flip-model chain never reports occlusion, so the window's own state says it first.
  if (!gApp.renderTargetView || MainWindowMinimised() || !IsWindowVisible(gApp.mainWindow)) {
    // A resize that failed may have failed because the device went away.
    if (DeviceRemoved()) LoseDevice();
    Idle();
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
  HRESULT result = gApp.swapChain->Present(1, 0);
  if (IsDeviceLoss(result)) {
    LoseDevice();
    return;
  }
  gApp.occluded = result == DXGI_STATUS_OCCLUDED;
  gApp.pictureCurrent = result == S_OK;
  gApp.picture = frame;
}
