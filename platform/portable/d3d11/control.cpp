// Test controls of the software device: injected failures and the live-object count.
#include "control/d3d11_control.h"

#include <atomic>

#include "d3d11/objects.h"

namespace {

constexpr int kFailureKinds = 6;
std::atomic<int> gPendingFailures[kFailureKinds];
std::atomic<int> gLiveObjects{0};

}  // namespace

namespace portable_d3d {

LiveObject::LiveObject() { ++gLiveObjects; }
LiveObject::~LiveObject() { --gLiveObjects; }

bool TakeInjectedFailure(PortableD3DFailure what) {
  std::atomic<int>& pending = gPendingFailures[(int)what];
  int count = pending.load();
  while (count > 0)
    if (pending.compare_exchange_weak(count, count - 1)) return true;
  return false;
}

}  // namespace portable_d3d

void PortableFailNext(PortableD3DFailure what, int count) {
  gPendingFailures[(int)what] = count > 0 ? count : 0;
}

void PortableResetFailures() {
  for (std::atomic<int>& pending : gPendingFailures) pending = 0;
  PortableForceVsyncOff(false);
  PortableRefuseFlipModel(false);
}

int PortableLiveObjectCount() { return gLiveObjects; }

void PortableRemoveDevice(ID3D11Device* device, HRESULT reason) {
  if (portable_d3d::Device* removed = portable_d3d::DeviceFromUnknown(device)) removed->Remove(reason);
}
