// What the session, the display and power report, into the state record (group H); and
// the look around after the machine or the user comes back.
#include "shell/system_notices.h"

#include <cstring>
#include <iterator>
#include <type_traits>

#include "app/app_state.h"
#include "app/seen_watch.h"
#include "render/device_recovery.h"
#include "shell/desktop.h"
#include "shell/main_window.h"

namespace {

// Not every SDK declares these settings, so their values are here: the console's display
// (GUID_CONSOLE_DISPLAY_STATE), the session's display (GUID_SESSION_DISPLAY_STATUS),
// battery saver (GUID_POWER_SAVING_STATUS) and energy saver (GUID_ENERGY_SAVER_STATUS,
// Windows 11 24H2). Each reports a DWORD.
const GUID kConsoleDisplay = {0x6fe69556, 0x704a, 0x47a0,
                              {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
const GUID kSessionDisplay = {0x2b84c20e, 0xad23, 0x4ddf,
                              {0x93, 0xdb, 0x05, 0xff, 0xbd, 0x7e, 0xfc, 0xa5}};
const GUID kBatterySaver = {0xe00958c0, 0xc213, 0x4ace,
                            {0xac, 0x77, 0xfe, 0xcc, 0xed, 0x2e, 0xee, 0xa5}};
const GUID kEnergySaver = {0x550e8400, 0xe29b, 0x41d4,
                           {0xa7, 0x16, 0x44, 0x66, 0x55, 0x44, 0x00, 0x00}};
const GUID* const kSettings[] = {&kConsoleDisplay, &kSessionDisplay, &kBatterySaver, &kEnergySaver};
static_assert(std::size(kSettings) == std::extent_v<decltype(AppState::powerNotices)>);
// A display's state: 0 off, 1 on, 2 dimmed (still seen).
const DWORD kDisplayOff = 0;
// Energy saver's state: 0 unknown, 1 off, 2 on (standard), 3 on (high savings). Battery
// saver's is 0 off, 1 on.
const DWORD kEnergySaverStandard = 2;

// While the machine slept or the user was away, the shell may have restarted (with no
// taskbar broadcast that reached the program), the device may have gone and the monitors may
// have changed; and the picture on screen may be stale. A wallpaper window no longer in the
// desktop's layer is moved into it as after a shell restart.
void AfterWake() {
  ReattachAfterShellStart();
  if (DeviceRemoved()) LoseDevice();
  FitWindowToMonitor();
  gApp.pictureCurrent = false;
  gApp.wakeFrameDue = true;
}

void OnSessionChange(WPARAM change) {
  switch (change) {
    case WTS_SESSION_LOCK:
      gApp.sessionLocked = true;
      break;
    case WTS_SESSION_UNLOCK:
      gApp.sessionLocked = false;
      AfterWake();
      break;
    case WTS_CONSOLE_DISCONNECT:
      gApp.consoleDisconnected = true;
      break;
    case WTS_CONSOLE_CONNECT:
      gApp.consoleDisconnected = false;
      AfterWake();
      break;
    default:
      return;
  }
  RecheckSeen();
}

// The first notice after registering is the current value, not a change: the display
// counts as coming on only when it was off before.
void OnSettingChange(const POWERBROADCAST_SETTING* setting) {
  DWORD value = 0;
  if (!setting || setting->DataLength < sizeof(value)) return;
  std::memcpy(&value, setting->Data, sizeof(value));
  const GUID& which = setting->PowerSetting;
  bool wasOff = gApp.displayOff;
  if (which == kConsoleDisplay) {
    gApp.consoleDisplayOff = value == kDisplayOff;
  } else if (which == kSessionDisplay) {
    gApp.sessionDisplayOff = value == kDisplayOff;
  } else if (which == kBatterySaver) {
    gApp.batterySaverOn = value != 0;
  } else if (which == kEnergySaver) {
    gApp.energySaverOn = value >= kEnergySaverStandard;
  } else {
    return;
  }
  // Either display off is reason enough: they differ only for a session away from the
  // console, which is not seen there either.
  gApp.displayOff = gApp.consoleDisplayOff || gApp.sessionDisplayOff;
  if (wasOff && !gApp.displayOff) AfterWake();
  gApp.powerSaving = gApp.batterySaverOn || gApp.energySaverOn;
  RecheckSeen();
}

}  // namespace

void RegisterSystemNotices() {
  gApp.sessionNoticesOn = WTSRegisterSessionNotification(gApp.trayWindow, NOTIFY_FOR_THIS_SESSION);
  for (size_t i = 0; i < std::size(kSettings); ++i)
    gApp.powerNotices[i] =
        RegisterPowerSettingNotification(gApp.trayWindow, kSettings[i], DEVICE_NOTIFY_WINDOW_HANDLE);
  gApp.suspendNotice = RegisterSuspendResumeNotification(gApp.trayWindow, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void UnregisterSystemNotices() {
  if (gApp.sessionNoticesOn) WTSUnRegisterSessionNotification(gApp.trayWindow);
  gApp.sessionNoticesOn = false;
  for (HPOWERNOTIFY& notice : gApp.powerNotices) {
    if (notice) UnregisterPowerSettingNotification(notice);
    notice = nullptr;
  }
  if (gApp.suspendNotice) UnregisterSuspendResumeNotification(gApp.suspendNotice);
  gApp.suspendNotice = nullptr;
}

LRESULT HandleSystemNotice(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_WTSSESSION_CHANGE) {
    OnSessionChange(wParam);
    return 0;
  }
  if (wParam == PBT_POWERSETTINGCHANGE) {
    OnSettingChange((const POWERBROADCAST_SETTING*)lParam);
  } else if (wParam == PBT_APMSUSPEND) {
    gApp.suspending = true;
    RecheckSeen();
  } else if (wParam == PBT_APMRESUMEAUTOMATIC) {
    gApp.suspending = false;
    AfterWake();
    RecheckSeen();
  }
  return TRUE;
}
