// Portable session notifications: a window registered for them is posted
// WM_WTSSESSION_CHANGE (user32.h) when the session is locked, unlocked, connected to or
// disconnected from the console, and so on. Only the registered windows get them.
#pragma once

#include "layer_only.h"

#include "win32/win32_types.h"

#define NOTIFY_FOR_THIS_SESSION 0
#define NOTIFY_FOR_ALL_SESSIONS 1

// Fails with ERROR_INVALID_WINDOW_HANDLE for a window that does not exist, with
// ERROR_INVALID_PARAMETER for other flags, and with RPC_S_INVALID_BINDING while the session
// service has not started (PortableFailSessionRegistration). Unregistering a window that is
// not registered fails with ERROR_INVALID_PARAMETER.
BOOL WTSRegisterSessionNotification(HWND window, DWORD flags);
BOOL WTSUnRegisterSessionNotification(HWND window);
