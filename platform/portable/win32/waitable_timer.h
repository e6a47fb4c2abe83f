// The waitable timers' state, for the wait functions.
#pragma once

#include "layer_only.h"

#include "win32/win32_types.h"

namespace timers {

// Whether the handle names an open waitable timer.
bool IsTimer(HANDLE handle);
// Whether the timer is signalled now: it became due since it was set and no wait took it.
bool Signalled(HANDLE handle);
// A wait was satisfied by the timer: a synchronization timer is reset.
void Take(HANDLE handle);
// The counter reading at which the timer becomes signalled; false when it is signalled
// already or not set.
bool NextDue(HANDLE handle, LONGLONG* due);

}  // namespace timers
