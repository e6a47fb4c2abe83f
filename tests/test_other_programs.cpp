// The portable desktop's windows of other programs, event hooks, compositor queries, and
// session and power notifications, with Windows' values and failures.
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

struct Notice {
  HWND window;
  UINT message;
  WPARAM wParam;
  std::vector<uint8_t> setting;  // GUID, length and data of a setting's record
};
std::vector<Notice> notices;
LRESULT CALLBACK RecordNotice(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_POWERBROADCAST || message == WM_WTSSESSION_CHANGE) {
    Notice n = {window, message, wParam, {}};
    if (message == WM_POWERBROADCAST && wParam == PBT_POWERSETTINGCHANGE) {
      auto* record = (const POWERBROADCAST_SETTING*)lParam;
      const uint8_t* bytes = (const uint8_t*)record;
      n.setting.assign(bytes, bytes + offsetof(POWERBROADCAST_SETTING, Data) + record->DataLength);
    }
    notices.push_back(n);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

class OtherPrograms : public ::testing::Test {
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

TEST_F(OtherPrograms, WindowsTellTheirOwnerClassAndPlace) {
  PortableSetMonitors({{0, 0, 1920, 1080}, {-1280, 200, 0, 1224}});
  HWND own = Own(WS_POPUP | WS_VISIBLE);
  HWND other = PortableCreateOtherProgramWindow(kOther, L"Notepad", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                                0, {10, 20, 110, 220});
  HWND progman = FindWindowW(L"Progman", nullptr);
  DWORD process = 0;
  EXPECT_EQ(GetWindowThreadProcessId(other, &process), kOther);
  EXPECT_EQ(process, kOther);
  GetWindowThreadProcessId(own, &process);
  EXPECT_EQ(process, GetCurrentProcessId());
  GetWindowThreadProcessId(progman, &process);
  EXPECT_NE(process, GetCurrentProcessId());
  EXPECT_EQ(GetWindowThreadProcessId((HWND)(uintptr_t)0x99, &process), 0u);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(PortableProgramWindows(), std::vector<HWND>{own});

  wchar_t name[5];
  EXPECT_EQ(GetClassNameW(other, name, 5), 4);
  EXPECT_STREQ(name, L"Note");
  EXPECT_EQ(FindWindowW(nullptr, nullptr), other) << "on top of the Z order";
  POINT origin = {0, 0};
  ClientToScreen(other, &origin);
  EXPECT_EQ(origin.x, 10 + 8);
  EXPECT_EQ(origin.y, 20 + 8 + 23);
  HWND view = FindWindowExW(progman, nullptr, L"SHELLDLL_DefView", nullptr);
  EXPECT_EQ(GetAncestor(view, GA_ROOT), progman);
  EXPECT_EQ(GetAncestor(view, GA_PARENT), progman);
  EXPECT_NE(GetAncestor(progman, GA_PARENT), nullptr) << "the desktop window";
  ShowWindow(other, SW_MINIMIZE);
  EXPECT_TRUE(IsIconic(other));
  EXPECT_EQ(GetSystemMetrics(SM_XVIRTUALSCREEN), -1280);
  EXPECT_EQ(GetSystemMetrics(SM_YVIRTUALSCREEN), 0);
  EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), 3200);
  EXPECT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), 1224);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
}

// Out of context: queued for the hooking thread, run when it takes messages, waking a
// wait; the program's own events left out where asked; nothing after the unhook.
TEST_F(OtherPrograms, EventsReachTheHookingThreadWhenItTakesMessages) {
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

TEST_F(OtherPrograms, TheCompositorReportsCloakingAndFrames) {
  HWND parent = Own(WS_POPUP | WS_VISIBLE);
  HWND child = CreateWindowExW(0, L"Own", L"", WS_CHILD | WS_VISIBLE, 1, 2, 3, 4, parent, nullptr,
                               nullptr, nullptr);
  DWORD cloaked = 9;
  auto query = [&](HWND w, DWORD size) { return DwmGetWindowAttribute(w, DWMWA_CLOAKED, &cloaked, size); };
  EXPECT_EQ(query(parent, sizeof(DWORD)), S_OK);
  EXPECT_EQ(cloaked, 0u);
  PortableCloakWindow(parent, DWM_CLOAKED_SHELL);
  EXPECT_EQ(query(parent, sizeof(DWORD)), S_OK);
  EXPECT_EQ(cloaked, (DWORD)DWM_CLOAKED_SHELL);
  EXPECT_EQ(query(child, sizeof(DWORD)), S_OK);
  EXPECT_EQ(cloaked, (DWORD)DWM_CLOAKED_INHERITED);
  EXPECT_EQ(query(child, 2), E_INVALIDARG);
  EXPECT_EQ(query((HWND)(uintptr_t)0x99, sizeof(DWORD)), E_HANDLE);
  RECT frame = {};
  EXPECT_EQ(DwmGetWindowAttribute(child, DWMWA_EXTENDED_FRAME_BOUNDS, &frame, sizeof(frame)), S_OK);
  EXPECT_EQ(frame.left, 1);
  EXPECT_EQ(frame.bottom, 6);
  PortableFailDwm(E_INVALIDARG);
  EXPECT_EQ(query(parent, sizeof(DWORD)), E_INVALIDARG);
}

// Power and session notices go to the registered windows only; a setting's registration is
// answered at once with its current value, in the record's layout.
TEST_F(OtherPrograms, NoticesGoOnlyToTheirWindowsAndAnswerWithTheCurrentValue) {
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
  auto record = [](DWORD value) {
    std::vector<uint8_t> bytes(sizeof(GUID) + 8);
    std::memcpy(bytes.data(), &GUID_CONSOLE_DISPLAY_STATE, sizeof(GUID));
    bytes[sizeof(GUID)] = 4;
    bytes[sizeof(GUID) + 4] = (uint8_t)value;
    return bytes;
  };
  ASSERT_EQ(notices.size(), 4u);
  EXPECT_EQ(notices[0].window, first);
  EXPECT_EQ(notices[0].setting, record(1)) << "the current value first";
  EXPECT_EQ(notices[1].setting, record(0));
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

TEST_F(OtherPrograms, VirtualWaitsMoveTheFrozenClockByTheirTimeOut) {
  PortableFreezeClock();
  PortableMakeWaitsVirtual(true);
  ULONGLONG start = GetTickCount64();
  Sleep(250);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT), (DWORD)WAIT_TIMEOUT);
  EXPECT_EQ(GetTickCount64() - start, 1250u);
  PostMessageW(Own(), WM_APP, 0, 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT), (DWORD)WAIT_OBJECT_0);
  EXPECT_EQ(GetTickCount64() - start, 1250u) << "woken at once";
}

}  // namespace
