// A removed or reset device (driver update, GPU reset, docking change): the renderer is
// dropped and built again, a bounded number of times, while the window and tray go on.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// Whether a result says the device is gone: removed, or reset.
bool IsDeviceLoss(HRESULT result);
// Whether the device exists and reports itself removed.
bool DeviceRemoved();
// Releases every renderer object; the main loop rebuilds them (RecoverDevice).
void LoseDevice();
// Once per pass while the device is lost: a new renderer for the current window, at most
// one attempt a second and three in a row, with the allowance back after a quiet minute.
void RecoverDevice(int64_t now);
