// The portable desktop's event hooks and its session and power notifications, with Windows'
// values and failures.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/portable/control/desktop_control.h"
#include "platform/portable/control/session_control.h"
#include "platform/win32.h"

namespace {

const DWORD kOther = 4242;

struct Event {
  DWORD event;
  HWND window;
  DWORD thread;
};
std::vector<Event> events;
void CALLBACK RecordEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG, LONG, DWORD thread, DWORD) {
  events.push_back({event, window, thread});
}

// A setting's record as it came: its GUID, its length and the DWORD it holds.
struct Notice {
  HWND window;
  WPARAM wParam;
  GUID setting;
  DWORD length, value;
};
std::vector<Notice> notices;
LRESULT CALLBACK RecordNotice(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_POWERBROADCAST && message != WM_WTSSESSION_CHANGE)
    return DefWindowProcW(window, message, wParam, lParam);
  Notice n = {window, wParam, {}, 0, 0};
  if (message == WM_POWERBROADCAST && wParam == PBT_POWERSETTINGCHANGE) {
    auto* record = (const POWERBROADCAST_SETTING*)lParam;
    n.setting = record->PowerSetting;
    n.length = record->DataLength;
    std::memcpy(&n.value, record->Data, sizeof(n.value));
  }
  notices.push_back(n);
  return 0;
}

class EventsAndNotices : public ::testing::Test {
 protected:
  void SetUp() override {
    PortableResetDesktop();
    events.clear();
    notices.clear();
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = RecordNotice;
    windowClass.lpszClassName = L"Own";
    RegisterClassExW(&windowClass);
  }
  void TearDown() override { PortableResetDesktop(); }
  static HWND Own(DWORD style = WS_POPUP) {
    return CreateWindowExW(0, L"Own", L"", style, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  }
  static void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
};

// Out of context: queued for the hooking thread, run when it takes messages, waking a
// wait; the program's own events left out where asked; nothing after the unhook.
TEST_F(EventsAndNotices, EventsReachTheHookingThreadWhenItTakesMessages) {
  HWINEVENTHOOK shows = SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_HIDE, nullptr, RecordEvent,
                                        0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
  HWINEVENTHOOK foreground = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND,
                                             nullptr, RecordEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(shows, nullptr);
  HWND own = Own(WS_POPUP | WS_VISIBLE);
  HWND other = PortableCreateOtherProgramWindow(kOther, L"App", WS_POPUP | WS_VISIBLE, 0, {0, 0, 5, 5});
  ShowWindow(other, SW_MINIMIZE);
  PortableCloakWindow(other, DWM_CLOAKED_APP);
  SetForegroundWindow(own);
  EXPECT_TRUE(events.empty()) << "not before the thread takes messages";
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_ALLINPUT), (DWORD)WAIT_OBJECT_0);
  Pump();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].event, (DWORD)EVENT_OBJECT_SHOW);
  EXPECT_EQ(events[0].window, other);
  EXPECT_EQ(events[0].thread, kOther);
  EXPECT_EQ(events[1].event, (DWORD)EVENT_SYSTEM_FOREGROUND);
  EXPECT_EQ(events[1].window, own);

  ShowWindow(other, SW_HIDE);
  EXPECT_TRUE(UnhookWinEvent(shows));
  Pump();
  EXPECT_EQ(events.size(), 2u) << "what was queued for an unhooked hook is dropped";
  EXPECT_FALSE(UnhookWinEvent(shows));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_TRUE(UnhookWinEvent(foreground));

  const struct {
    DWORD first, last;
    WINEVENTPROC proc;
    DWORD flags, error;
  } refused[] = {{1, 2, nullptr, 0, ERROR_INVALID_FILTER_PROC},
                 {3, 2, RecordEvent, 0, ERROR_INVALID_HOOK_FILTER},
                 {1, 2, RecordEvent, WINEVENT_INCONTEXT, ERROR_HOOK_NEEDS_HMOD}};
  for (const auto& r : refused) {
    EXPECT_EQ(SetWinEventHook(r.first, r.last, nullptr, r.proc, 0, 0, r.flags), nullptr);
    EXPECT_EQ(GetLastError(), r.error);
  }
  EXPECT_EQ(PortableWinEventHookCount(), 0);
}

// Power and session notices go to the registered windows only; a setting's registration is
// answered at once with its current value, in the record's layout.
TEST_F(EventsAndNotices, NoticesGoOnlyToTheirWindowsAndAnswerWithTheCurrentValue) {
  HWND first = Own(), second = Own();
  HPOWERNOTIFY display = RegisterPowerSettingNotification(first, &GUID_CONSOLE_DISPLAY_STATE,
                                                          DEVICE_NOTIFY_WINDOW_HANDLE);
  ASSERT_NE(display, nullptr);
  ASSERT_NE(RegisterSuspendResumeNotification(second, DEVICE_NOTIFY_WINDOW_HANDLE), nullptr);
  ASSERT_TRUE(WTSRegisterSessionNotification(first, NOTIFY_FOR_THIS_SESSION));
  EXPECT_TRUE(notices.empty()) << "sent from outside: handled when the thread takes messages";
  PortableSetPowerSetting(GUID_CONSOLE_DISPLAY_STATE, 0);
  PortableSuspendMachine();
  PortableChangeSession(WTS_SESSION_LOCK);
  Pump();
  ASSERT_EQ(notices.size(), 4u);
  for (int i : {0, 1}) {
    EXPECT_EQ(notices[i].window, first);
    EXPECT_TRUE(notices[i].setting == GUID_CONSOLE_DISPLAY_STATE);
    EXPECT_EQ(notices[i].length, 4u);
    EXPECT_EQ(notices[i].value, i == 0 ? 1u : 0u) << "the current value first, then the change";
  }
  EXPECT_EQ(notices[2].window, second);
  EXPECT_EQ(notices[2].wParam, (WPARAM)PBT_APMSUSPEND);
  EXPECT_EQ(notices[3].window, first);
  EXPECT_EQ(notices[3].wParam, (WPARAM)WTS_SESSION_LOCK);

  EXPECT_TRUE(UnregisterPowerSettingNotification(display));
  EXPECT_FALSE(UnregisterPowerSettingNotification(display));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegisterPowerSettingNotification(first, &GUID_CONSOLE_DISPLAY_STATE,
                                             DEVICE_NOTIFY_SERVICE_HANDLE), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  PortableFailSessionRegistration(true);
  EXPECT_FALSE(WTSRegisterSessionNotification(second, NOTIFY_FOR_THIS_SESSION));
  EXPECT_EQ(GetLastError(), (DWORD)RPC_S_INVALID_BINDING);

  QUERY_USER_NOTIFICATION_STATE state = QUNS_APP;
  EXPECT_EQ(SHQueryUserNotificationState(&state), S_OK);
  EXPECT_EQ(state, QUNS_ACCEPTS_NOTIFICATIONS);
  PortableSetUserNotificationState(QUNS_RUNNING_D3D_FULL_SCREEN, E_FAIL);
  EXPECT_EQ(SHQueryUserNotificationState(&state), E_FAIL);
}

}  // namespace
