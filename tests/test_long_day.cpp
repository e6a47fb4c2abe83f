// A long day on the desktop: a thousand display-mode cycles, two hundred shell restarts
// under the wallpaper, two hundred device losses and a thousand menus, after which the
// program holds exactly what it held once it had been through each of them once.
#include <iterator>

#include "app/app_state.h"
#include "platform/portable/control/live_control.h"
#include "shell/tray.h"
#include "tests/program_driver.h"

namespace {

const struct {
  const char* name;
  int PortableLiveCounts::*count;
} kCounts[] = {
    {"windows", &PortableLiveCounts::windows},
    {"device objects", &PortableLiveCounts::deviceObjects},
    {"files", &PortableLiveCounts::files},
    {"mutexes", &PortableLiveCounts::mutexes},
    {"waitable timers", &PortableLiveCounts::waitableTimers},
    {"menus", &PortableLiveCounts::menus},
    {"event hooks", &PortableLiveCounts::winEventHooks},
    {"session registrations", &PortableLiveCounts::sessionRegistrations},
    {"power registrations", &PortableLiveCounts::powerRegistrations},
    {"suspend registrations", &PortableLiveCounts::suspendRegistrations},
    {"tray icons", &PortableLiveCounts::trayIcons},
};
static_assert(sizeof(PortableLiveCounts) == std::size(kCounts) * sizeof(int), "a count unnamed");

const PortableShellLayout kLayouts[] = {PortableShellLayout::Classic, PortableShellLayout::Nested,
                                        PortableShellLayout::Raised};

class LongDay : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    PortableSetMonitors({kSmallMonitor});
    PortableFreezeClock();
    PortableMakeWaitsVirtual(true);
    beforeStart_ = PortableCountLive();
    ASSERT_TRUE(Start({"--window"}));
    ShrinkWindow();  // remembered for every later windowed window
    DrawnPass();
    ChooseFromTray(CMD_MODE_WALLPAPER);
    DrawnPass();
  }

  // A pass a frame later that must draw one.
  void DrawnPass() {
    PortableAdvanceClock(0.05);
    int draws = PortableDrawCount();
    Pass();
    ASSERT_EQ(PortableDrawCount(), draws + 1) << "no frame drawn";
  }

  // From the wallpaper to fullscreen by the menu, to the window by a key, and back to the
  // wallpaper by the menu, a frame drawn in each.
  void ModeCycle(int index) {
    ChooseFromTray(CMD_MODE_FULLSCREEN);
    ASSERT_TRUE(gApp.fullscreen);
    DrawnPass();
    Key(index % 2 ? VK_F11 : 'F');
    ASSERT_FALSE(gApp.fullscreen);
    DrawnPass();
    ChooseFromTray(CMD_MODE_WALLPAPER);
    ASSERT_TRUE(gApp.wallpaperActive);
    DrawnPass();
  }

  // Explorer restarting under the wallpaper, in one of its layouts.
  void ShellRestart(PortableShellLayout layout) {
    PortableEndShell();
    Pass();
    PortableStartShell(layout);
    Pass();
    ASSERT_TRUE(IsWindowVisible(gApp.mainWindow)) << "not attached to the new shell";
    DrawnPass();
  }

  // A driver reset: the present fails, and a later pass builds the renderer again within
  // its allowance of three rebuilds a second apart, then a quiet minute.
  void DeviceLoss(int index) {
    PortableRemoveDevice(gApp.device, DXGI_ERROR_DEVICE_RESET);
    PortableAdvanceClock(0.05);
    Pass();
    ASSERT_TRUE(gApp.deviceLost);
    PortableAdvanceClock(index % 3 == 0 ? 61.0 : 1.1);
    Pass();
    ASSERT_FALSE(gApp.deviceLost) << "not rebuilt";
    DrawnPass();
  }

  // The menu by every way of opening it, dismissed or with a choice that changes nothing.
  void MenuOpening(int index) {
    const PortableTrayInput inputs[] = {PortableTrayInput::LeftClick, PortableTrayInput::RightClick,
                                        PortableTrayInput::EnterKey, PortableTrayInput::MenuKey};
    size_t menus = PortableTrackedMenus().size();
    PortableScriptMenuChoice(index % 2 ? CMD_SCENE_TITLE : 0);
    UseTray(inputs[index % 4]);
    ASSERT_EQ(PortableTrackedMenus().size(), menus + 1) << "no menu opened";
  }

  static void ExpectCountsBack(const PortableLiveCounts& before, const char* after) {
    PortableLiveCounts now = PortableCountLive();
    for (const auto& c : kCounts)
      EXPECT_EQ(now.*c.count, before.*c.count) << c.name << " after " << after;
  }

  PortableLiveCounts beforeStart_;
};

TEST_F(LongDay, EverythingHeldComesBackToWhatItWasAfterTheFirstOfEach) {
  ModeCycle(0);
  ShellRestart(kLayouts[0]);
  DeviceLoss(0);
  MenuOpening(0);
  PortableLiveCounts first = PortableCountLive();

  for (int i = 1; i < 1000 && !HasFatalFailure(); ++i) ModeCycle(i);
  ExpectCountsBack(first, "the display-mode cycles");
  for (int i = 1; i < 200 && !HasFatalFailure(); ++i) ShellRestart(kLayouts[i % 3]);
  ExpectCountsBack(first, "the shell restarts");
  for (int i = 1; i < 200 && !HasFatalFailure(); ++i) DeviceLoss(i);
  ExpectCountsBack(first, "the device losses");
  for (int i = 1; i < 1000 && !HasFatalFailure(); ++i) MenuOpening(i);
  ExpectCountsBack(first, "the menus");
  EXPECT_TRUE(PortableMessageBoxes().empty());

  // What the program took at its start it gives back at its end, but for the renderer, which
  // goes with the process.
  ChooseFromTray(CMD_QUIT);
  ASSERT_EQ(RunToExit(), 0);
  ReleaseRenderer();
  ExpectCountsBack(beforeStart_, "the exit");
}

}  // namespace
