// The system's notifications to the hidden tray window, which as a top-level window of its
// own is the program's one receiver of them: the session locked or away from the console,
// the display off, the machine suspending, battery saver or energy saver on.
#pragma once

#include "platform/win32.h"

// Registers the tray window for them; what cannot be registered is done without.
void RegisterSystemNotices();
void UnregisterSystemNotices();
// WM_WTSSESSION_CHANGE and WM_POWERBROADCAST as the tray window receives them; its result.
LRESULT HandleSystemNotice(UINT message, WPARAM wParam, LPARAM lParam);
