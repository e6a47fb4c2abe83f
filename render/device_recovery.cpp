// Recovery from a lost device: release, then rebuild within a budget, without error boxes
// (a rebuild that fails again and again must not stack up boxes over the desktop).
#include "render/device_recovery.h"

#include "app/app_state.h"
#include "render/renderer.h"

namespace {

const int32_t kRebuildsInARow = 3;
const int64_t kSecondsBetweenRebuilds = 1;
const int64_t kQuietSeconds = 60;

}  // namespace

bool IsDeviceLoss(HRESULT result) {
  return result == DXGI_ERROR_DEVICE_REMOVED || result == DXGI_ERROR_DEVICE_RESET;
}

bool DeviceRemoved() { return gApp.device && FAILED(gApp.device->GetDeviceRemovedReason()); }

void LoseDevice() {
  ReleaseRenderer();
  gApp.deviceLost = true;
  gApp.occluded = false;
  gApp.pictureCurrent = false;
}

void RecoverDevice(int64_t now) {
  const int64_t second = gApp.perfFrequency;
  if (gApp.lastRebuild != 0) {
    int64_t since = now - gApp.lastRebuild;
    if (since >= kQuietSeconds * second)
      gApp.rebuildsLeft = kRebuildsInARow;
    else if (since < kSecondsBetweenRebuilds * second)
      return;
  }
  if (gApp.rebuildsLeft <= 0) return;
  --gApp.rebuildsLeft;
  gApp.lastRebuild = now;
  if (RestartRenderer()) gApp.deviceLost = false;
}
