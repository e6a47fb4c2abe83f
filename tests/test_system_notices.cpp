// The system's notifications to the tray window: what they change, the pause and the
// resume they bring, the look around after coming back, and the registrations.
#include <functional>

#include "app/app_state.h"
#include "platform/portable/control/session_control.h"
#include "tests/seen_driver.h"

namespace {

using SystemNotices = SeenTest;

void Display(const GUID& which, DWORD state) { PortableSetPowerSetting(which, state); }

TEST_F(SystemNotices, AwayPausesAfterHalfASecondAndBackResumesAtOnce) {
  StartDrawing({"--wallpaper"});
  const struct {
    const char* what;
    std::function<void()> away, back;
    const bool& field;
  } cases[] = {
      {"lock", [] { PortableChangeSession(WTS_SESSION_LOCK); },
       [] { PortableChangeSession(WTS_SESSION_UNLOCK); }, gApp.sessionLocked},
      {"console", [] { PortableChangeSession(WTS_CONSOLE_DISCONNECT); },
       [] { PortableChangeSession(WTS_CONSOLE_CONNECT); }, gApp.consoleDisconnected},
      {"console display", [] { Display(GUID_CONSOLE_DISPLAY_STATE, 0); },
       [] { Display(GUID_CONSOLE_DISPLAY_STATE, 1); }, gApp.displayOff},
      {"session display", [] { Display(GUID_SESSION_DISPLAY_STATUS, 0); },
       [] { Display(GUID_SESSION_DISPLAY_STATUS, 1); }, gApp.displayOff},
      {"sleep", PortableSuspendMachine, PortableResumeMachine, gApp.suspending},
  };
  for (const auto& c : cases) {
    c.away();
    EXPECT_EQ(DrawnUntilPaused(), 5) << c.what;
    EXPECT_TRUE(c.field) << c.what;
    EXPECT_EQ(Timed().draws, 0) << c.what;
    c.back();
    EXPECT_EQ(Timed().draws, 1) << c.what;
    EXPECT_FALSE(c.field) << c.what;
  }
  // Neither a dimmed display nor other session changes stop it.
  Display(GUID_CONSOLE_DISPLAY_STATE, 2);
  PortableChangeSession(WTS_REMOTE_DISCONNECT);
  PortableChangeSession(WTS_SESSION_LOGOFF);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Timed().draws, 1);
  EXPECT_FALSE(gApp.displayOff);
}

// The first notice after registering is the current state: a display already off at the
// start is off, and savers already on count.
TEST_F(SystemNotices, TheStateAtTheStartAndTheSavers) {
  Display(GUID_CONSOLE_DISPLAY_STATE, 0);
  PortableSetPowerSetting(GUID_ENERGY_SAVER_STATUS, 2);
  StartDrawing({"--wallpaper"});
  EXPECT_TRUE(gApp.displayOff);
  EXPECT_TRUE(gApp.powerSaving);
  EXPECT_EQ(DrawnUntilPaused(), 4);
  const struct {
    const GUID& saver;
    DWORD value;
    bool powerSaving;
  } steps[] = {
      // Energy saver: 0 unknown, 1 off, 2 standard, 3 high savings.
      {GUID_POWER_SAVING_STATUS, 1, true}, {GUID_ENERGY_SAVER_STATUS, 1, true},
      {GUID_POWER_SAVING_STATUS, 0, false}, {GUID_ENERGY_SAVER_STATUS, 3, true},
      {GUID_ENERGY_SAVER_STATUS, 1, false}, {GUID_ENERGY_SAVER_STATUS, 2, true},
      {GUID_ENERGY_SAVER_STATUS, 0, false},
  };
  for (const auto& step : steps) {
    PortableSetPowerSetting(step.saver, step.value);
    Pass();
    EXPECT_EQ(gApp.powerSaving, step.powerSaving) << &step - steps;
  }
  // A payload shorter than its DWORD is ignored.
  PortableSetPowerSetting(GUID_POWER_SAVING_STATUS, std::vector<uint8_t>{1, 0});
  Pass();
  EXPECT_FALSE(gApp.powerSaving);
}

// Back from sleep or a lock: a wallpaper window moved out of the desktop is put back in it,
// a device lost meanwhile is found without waiting for a present, the window fits its
// monitor again, and one frame is drawn at once, even under a window.
TEST_F(SystemNotices, ComingBackLooksAroundAndDrawsOnce) {
  StartDrawing({"--wallpaper"});
  HWND worker = GetParent(gApp.mainWindow);
  Other(kSmallMonitor);
  PortableChangeSession(WTS_SESSION_LOCK);
  EXPECT_EQ(DrawnUntilPaused(), 5);
  SetWindowPos(gApp.mainWindow, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  PortableRemoveDevice(gApp.device);
  PortableChangeSession(WTS_SESSION_UNLOCK);
  Deliver();
  EXPECT_EQ(gApp.device, nullptr);
  EXPECT_EQ(WindowRect(gApp.mainWindow), kSmallMonitor);
  EXPECT_EQ(Timed().draws, 1);
  EXPECT_EQ(Timed().draws, 0);

  HWND old = gApp.mainWindow;
  SetParent(old, Other({0, 0, 10, 10}));
  PortableSuspendMachine();
  PortableResumeMachine();
  Pass();
  EXPECT_EQ(GetParent(gApp.mainWindow), worker);
}

TEST_F(SystemNotices, OnlyTheTrayWindowRegistersAndUndoesItAtExit) {
  ASSERT_TRUE(Start({"--window"}));
  EXPECT_TRUE(PortableSessionRegistered(gApp.trayWindow));
  EXPECT_EQ(PortablePowerRegistrationCount(gApp.trayWindow), 5);
  EXPECT_EQ(PortablePowerRegistrationCount(gApp.mainWindow), 0);
  HWND tray = gApp.trayWindow;
  PostMessageW(gApp.mainWindow, WM_CLOSE, 0, 0);
  EXPECT_EQ(RunToExit(), 0);
  EXPECT_FALSE(PortableSessionRegistered(tray));
  EXPECT_EQ(PortablePowerRegistrationCount(tray), 0);

  // Refused registrations are no obstacle, and there is nothing to undo.
  ReleaseRenderer();
  gApp = AppState{};
  PortableFailSessionRegistration(true);
  PortableFailPowerRegistrations(ERROR_ACCESS_DENIED);
  ASSERT_TRUE(Start({"--window"}));
  EXPECT_EQ(PortablePowerRegistrationCount(gApp.trayWindow), 0);
  Pass();
  PostMessageW(gApp.mainWindow, WM_CLOSE, 0, 0);
  EXPECT_EQ(RunToExit(), 0);
}

}  // namespace
