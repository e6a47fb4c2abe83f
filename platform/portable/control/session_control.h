// Test controls of what the system tells the program about the session, power and the
// user's attention: what a person locking the machine, a display going to sleep, battery
// saver or a full-screen game would bring about.
#pragma once

#include "layer_only.h"

#include <cstdint>
#include <vector>

#include "win32/shell.h"
#include "win32/user32.h"

// WM_WTSSESSION_CHANGE with this change (WTS_SESSION_LOCK, ...) to every window registered
// for session notifications.
void PortableChangeSession(DWORD change);
// A power setting takes this value (its DataLength bytes, or one DWORD); the windows
// registered for it are sent the change. Registering answers with the current value, as
// on Windows: the displays on, both savers off, until a test changes them.
void PortableSetPowerSetting(const GUID& setting, const std::vector<uint8_t>& value);
void PortableSetPowerSetting(const GUID& setting, DWORD value);
// The machine going to sleep and waking up: PBT_APMSUSPEND, then PBT_APMRESUMEAUTOMATIC, to
// the windows registered for them.
void PortableSuspendMachine();
void PortableResumeMachine();
// From now on power registrations fail with this error (0: they succeed), and session
// registrations fail with RPC_S_INVALID_BINDING, as before the session service starts.
void PortableFailPowerRegistrations(DWORD error);
void PortableFailSessionRegistration(bool serviceDown);
// Registrations held for the window: power settings and suspend-resume together; session.
int PortablePowerRegistrationCount(HWND window);
bool PortableSessionRegistered(HWND window);
// What SHQueryUserNotificationState reports, or the failure it returns instead.
void PortableSetUserNotificationState(QUERY_USER_NOTIFICATION_STATE state, HRESULT result = S_OK);
