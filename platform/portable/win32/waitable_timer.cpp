// Waitable timers on the portable clock: set relative to the performance counter, signalled
// once it reads their due time, and again every period after that.
#include "win32/waitable_timer.h"

#include <map>

#include "control/desktop_control.h"
#include "win32/clock.h"
#include "win32/handles.h"
#include "win32/kernel.h"

namespace {

struct Timer {
  bool manualReset = false;
  bool active = false;
  bool signalled = false;
  LONGLONG due = 0;
  LONGLONG period = 0;  // counter ticks; 0 fires once
};

// Closed handles are never handed out again, so their timers are dropped when convenient.
std::map<HANDLE, Timer> timerTable;
bool refuseHighResolution = false;

Timer* Find(HANDLE handle) {
  int unused;
  if (!PortableHandleDescriptor(handle, PortableHandleKind::Timer, &unused)) return nullptr;
  return &timerTable[handle];
}

// Brings the timer up to the counter's reading.
void Update(Timer& timer) {
  LONGLONG now = PortableCounterNow();
  if (!timer.active || now < timer.due) return;
  timer.signalled = true;
  if (timer.period == 0) {
    timer.active = false;
    return;
  }
  timer.due += ((now - timer.due) / timer.period + 1) * timer.period;
}

void DropClosedTimers() {
  for (auto it = timerTable.begin(); it != timerTable.end();) {
    int unused;
    if (PortableHandleDescriptor(it->first, PortableHandleKind::Timer, &unused))
      ++it;
    else
      it = timerTable.erase(it);
  }
}

}  // namespace

namespace timers {

bool IsTimer(HANDLE handle) { return Find(handle) != nullptr; }

bool Signalled(HANDLE handle) {
  Timer* timer = Find(handle);
  if (!timer) return false;
  Update(*timer);
  return timer->signalled;
}

void Take(HANDLE handle) {
  if (Timer* timer = Find(handle); timer && !timer->manualReset) timer->signalled = false;
}

bool NextDue(HANDLE handle, LONGLONG* due) {
  Timer* timer = Find(handle);
  if (!timer) return false;
  Update(*timer);
  if (!timer->active || timer->signalled) return false;
  *due = timer->due;
  return true;
}

}  // namespace timers

void PortableRefuseHighResolutionTimers(bool refuse) { refuseHighResolution = refuse; }

HANDLE CreateWaitableTimerExW(SECURITY_ATTRIBUTES*, LPCWSTR name, DWORD flags, DWORD) {
  const DWORD known = CREATE_WAITABLE_TIMER_MANUAL_RESET | CREATE_WAITABLE_TIMER_HIGH_RESOLUTION;
  if (name) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  // Windows before version 1803 refuses the high-resolution flag as it refuses any unknown one.
  if ((flags & ~known) ||
      ((flags & CREATE_WAITABLE_TIMER_HIGH_RESOLUTION) && refuseHighResolution)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  DropClosedTimers();
  HANDLE handle = PortableNewHandle(PortableHandleKind::Timer, -1);
  timerTable[handle].manualReset = (flags & CREATE_WAITABLE_TIMER_MANUAL_RESET) != 0;
  // As for every object that could have a name: no error means a new one.
  SetLastError(ERROR_SUCCESS);
  return handle;
}

HANDLE CreateWaitableTimerW(SECURITY_ATTRIBUTES* attributes, BOOL manualReset, LPCWSTR name) {
  return CreateWaitableTimerExW(attributes, name,
                                manualReset ? CREATE_WAITABLE_TIMER_MANUAL_RESET : 0,
                                TIMER_ALL_ACCESS);
}

BOOL SetWaitableTimer(HANDLE handle, const LARGE_INTEGER* dueTime, LONG period,
                      PTIMERAPCROUTINE completionRoutine, LPVOID, BOOL resume) {
  Timer* timer = Find(handle);
  if (!timer) return FALSE;
  if (!dueTime || period < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (dueTime->QuadPart > 0 || completionRoutine) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  const LONGLONG kCounterPer100ns = kPortableCounterPerSecond / 10000000;
  const LONGLONG kCounterPerMillisecond = kPortableCounterPerSecond / 1000;
  timer->signalled = false;
  timer->active = true;
  timer->due = PortableCounterNow() - dueTime->QuadPart * kCounterPer100ns;
  timer->period = (LONGLONG)period * kCounterPerMillisecond;
  // Setting succeeds; a machine that cannot wake for it says so, as Windows does.
  if (resume) SetLastError(ERROR_NOT_SUPPORTED);
  return TRUE;
}

BOOL CancelWaitableTimer(HANDLE handle) {
  Timer* timer = Find(handle);
  if (!timer) return FALSE;
  timer->active = false;
  return TRUE;
}
