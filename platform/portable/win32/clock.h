// The portable clock as the layer's own waits use it (the display's refresh, waitable
// timers): readings of the performance counter, in nanoseconds, and a wait until a reading,
// which a frozen clock reaches at once by moving on to it, as if the wait had taken that long.
#pragma once

#include "layer_only.h"

#include "win32/win32_types.h"

inline constexpr LONGLONG kPortableCounterPerSecond = 1000000000;

LONGLONG PortableCounterNow();
bool PortableClockFrozen();
void PortableWaitUntilCounter(LONGLONG counter);
