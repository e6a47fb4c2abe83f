// What the system tells the windows that register for it: session changes, power settings,
// suspend and resume; and the shell's view of the user's attention. Each goes to the
// registered windows only, as Windows sends them, from outside the program's thread.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "control/live_control.h"
#include "control/session_control.h"
#include "win32/desktop_internal.h"
#include "win32/kernel.h"
#include "win32/wtsapi32.h"

namespace {

const DWORD kSessionId = 1;

struct PowerRegistration {
  HPOWERNOTIFY handle;
  HWND window;
  bool suspendResume;  // else a setting's
  GUID setting;
};
std::vector<PowerRegistration> powerRegistrations;
uintptr_t nextNotice = 0x50000;
DWORD powerFailure = 0;

std::vector<HWND> sessionWindows;
bool sessionServiceDown = false;

struct Setting {
  GUID guid;
  std::vector<uint8_t> value;
};
std::vector<Setting> settings;

QUERY_USER_NOTIFICATION_STATE userState = QUNS_ACCEPTS_NOTIFICATIONS;
HRESULT userStateResult = S_OK;

std::vector<uint8_t> Dword(DWORD value) {
  std::vector<uint8_t> bytes(sizeof(value));
  std::memcpy(bytes.data(), &value, sizeof(value));
  return bytes;
}

Setting* Find(const GUID& guid) {
  for (Setting& s : settings)
    if (s.guid == guid) return &s;
  return nullptr;
}

// The record as Windows lays it out: the GUID, the length, then exactly that many bytes.
void SendSetting(HWND window, const GUID& guid, const std::vector<uint8_t>& value) {
  const size_t head = offsetof(POWERBROADCAST_SETTING, Data);
  std::vector<uint8_t> record(head + value.size());
  POWERBROADCAST_SETTING header = {guid, (DWORD)value.size(), {0}};
  std::memcpy(record.data(), &header, head);
  if (!value.empty()) std::memcpy(record.data() + head, value.data(), value.size());
  desktop::QueueIncoming([window, record] {
    SendMessageW(window, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, (LPARAM)record.data());
  });
}

void SendSuspendResume(WPARAM event) {
  for (const PowerRegistration& r : powerRegistrations)
    if (r.suspendResume) {
      HWND window = r.window;
      desktop::QueueIncoming([window, event] { SendMessageW(window, WM_POWERBROADCAST, event, 0); });
    }
}

HPOWERNOTIFY Register(HANDLE recipient, DWORD flags, bool suspendResume, const GUID& setting) {
  if (!IsWindow((HWND)recipient)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (flags != DEVICE_NOTIFY_WINDOW_HANDLE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (powerFailure) {
    SetLastError(powerFailure);
    return nullptr;
  }
  HPOWERNOTIFY handle = (HPOWERNOTIFY)nextNotice;
  nextNotice += 4;
  powerRegistrations.push_back({handle, (HWND)recipient, suspendResume, setting});
  return handle;
}

BOOL Unregister(HPOWERNOTIFY handle, bool suspendResume) {
  auto found = std::find_if(powerRegistrations.begin(), powerRegistrations.end(),
                            [&](const PowerRegistration& r) {
                              return r.handle == handle && r.suspendResume == suspendResume;
                            });
  if (found == powerRegistrations.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  powerRegistrations.erase(found);
  return TRUE;
}

}  // namespace

namespace desktop {

void ResetSystemNotices() {
  powerRegistrations.clear();
  powerFailure = 0;
  sessionWindows.clear();
  sessionServiceDown = false;
  settings = {{GUID_CONSOLE_DISPLAY_STATE, Dword(1)},
              {GUID_SESSION_DISPLAY_STATUS, Dword(1)},
              {GUID_POWER_SAVING_STATUS, Dword(0)},
              {GUID_ENERGY_SAVER_STATUS, Dword(0)}};
  userState = QUNS_ACCEPTS_NOTIFICATIONS;
  userStateResult = S_OK;
}

}  // namespace desktop

HPOWERNOTIFY RegisterPowerSettingNotification(HANDLE recipient, LPCGUID setting, DWORD flags) {
  if (!setting) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HPOWERNOTIFY handle = Register(recipient, flags, false, *setting);
  if (handle)
    if (const Setting* known = Find(*setting)) SendSetting((HWND)recipient, *setting, known->value);
  return handle;
}

BOOL UnregisterPowerSettingNotification(HPOWERNOTIFY handle) { return Unregister(handle, false); }

HPOWERNOTIFY RegisterSuspendResumeNotification(HANDLE recipient, DWORD flags) {
  return Register(recipient, flags, true, GUID{});
}

BOOL UnregisterSuspendResumeNotification(HPOWERNOTIFY handle) { return Unregister(handle, true); }

BOOL WTSRegisterSessionNotification(HWND window, DWORD flags) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (flags != NOTIFY_FOR_THIS_SESSION && flags != NOTIFY_FOR_ALL_SESSIONS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (sessionServiceDown) {
    SetLastError(RPC_S_INVALID_BINDING);
    return FALSE;
  }
  if (std::find(sessionWindows.begin(), sessionWindows.end(), window) == sessionWindows.end())
    sessionWindows.push_back(window);
  return TRUE;
}

BOOL WTSUnRegisterSessionNotification(HWND window) {
  auto found = std::find(sessionWindows.begin(), sessionWindows.end(), window);
  if (found == sessionWindows.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  sessionWindows.erase(found);
  return TRUE;
}

HRESULT SHQueryUserNotificationState(QUERY_USER_NOTIFICATION_STATE* state) {
  if (!state) return E_INVALIDARG;
  if (FAILED(userStateResult)) return userStateResult;
  *state = userState;
  return S_OK;
}

void PortableChangeSession(DWORD change) {
  for (HWND window : sessionWindows) PostMessageW(window, WM_WTSSESSION_CHANGE, change, kSessionId);
}

void PortableSetPowerSetting(const GUID& setting, const std::vector<uint8_t>& value) {
  if (Setting* known = Find(setting))
    known->value = value;
  else
    settings.push_back({setting, value});
  for (const PowerRegistration& r : powerRegistrations)
    if (!r.suspendResume && r.setting == setting) SendSetting(r.window, setting, value);
}

void PortableSetPowerSetting(const GUID& setting, DWORD value) {
  PortableSetPowerSetting(setting, Dword(value));
}

void PortableSuspendMachine() { SendSuspendResume(PBT_APMSUSPEND); }
void PortableResumeMachine() { SendSuspendResume(PBT_APMRESUMEAUTOMATIC); }

void PortableFailPowerRegistrations(DWORD error) { powerFailure = error; }
void PortableFailSessionRegistration(bool serviceDown) { sessionServiceDown = serviceDown; }

int PortablePowerRegistrationCount(HWND window) {
  return (int)std::count_if(powerRegistrations.begin(), powerRegistrations.end(),
                            [&](const PowerRegistration& r) { return r.window == window; });
}

int PortableSessionRegistrationCount() { return (int)sessionWindows.size(); }

int PortablePowerSettingRegistrationCount() {
  return (int)std::count_if(powerRegistrations.begin(), powerRegistrations.end(),
                            [](const PowerRegistration& r) { return !r.suspendResume; });
}

int PortableSuspendRegistrationCount() {
  return (int)powerRegistrations.size() - PortablePowerSettingRegistrationCount();
}

bool PortableSessionRegistered(HWND window) {
  return std::find(sessionWindows.begin(), sessionWindows.end(), window) != sessionWindows.end();
}

void PortableSetUserNotificationState(QUERY_USER_NOTIFICATION_STATE state, HRESULT result) {
  userState = state;
  userStateResult = result;
}
