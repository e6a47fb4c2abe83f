// When the main loop draws: not while the window is minimised or occluded, not again for
// an unchanged frame, and again after whatever may have changed the picture on screen.
#include <chrono>
#include <functional>

#include "app/app_state.h"
#include "shell/main_window.h"
#include "shell/tray.h"
#include "tests/program_driver.h"

namespace {

class FramePacing : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    PortableSetMonitors({kSmallMonitor});
  }
  // Starts in a small window with the clock under the test's control.
  void StartSmall(std::vector<std::string> options = {}) {
    PortableFreezeClock();
    options.insert(options.begin(), "--window");
    ASSERT_TRUE(Start(options));
    ShrinkWindow();
    Pass();
  }
  // Passes with the clock moving on; how many frames they drew and presented, and how long
  // the slowest took.
  struct Work {
    int draws;
    int presents;
    double slowest;
  };
  Work Passes(int count) {
    int draws = PortableDrawCount(), presents = PortablePresentCount();
    double slowest = 0;
    for (int i = 0; i < count; ++i) {
      PortableAdvanceClock(0.1);
      auto started = std::chrono::steady_clock::now();
      Pass();
      slowest = std::max(
          slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
    return {PortableDrawCount() - draws, PortablePresentCount() - presents, slowest};
  }
};

// A flip-model chain presents to a window that shows nothing as to any other, so the
// window's own state tells the program to idle.
TEST_F(FramePacing, AMinimisedOrHiddenWindowIdlesUntilItIsSeenAgain) {
  StartSmall();
  for (int hide : {SW_MINIMIZE, SW_HIDE}) {
    ShowWindow(gApp.mainWindow, hide);
    Work hidden = Passes(4);
    EXPECT_EQ(hidden.draws, 0) << hide;
    EXPECT_EQ(hidden.presents, 0) << hide;
    Work idle = Passes(2);
    EXPECT_EQ(idle.draws, 0) << hide;
    EXPECT_GE(idle.slowest, 0.045) << hide;
    // Messages are still answered.
    Key(VK_TAB);
    ShowWindow(gApp.mainWindow, hide == SW_MINIMIZE ? SW_RESTORE : SW_SHOW);
    Work back = Passes(1);
    EXPECT_EQ(back.draws, 1) << hide;
    EXPECT_EQ(back.presents, 1) << hide;
  }
  EXPECT_EQ(gApp.scene, kSceneTitle);  // toggled twice
}

// Only the discard model (where the flip model is refused) learns from Present that nothing
// is seen, here because the secure desktop took the display; test presents then tell when to
// draw again.
TEST_F(FramePacing, ADiscardModelPresentThatReportsOcclusionIdles) {
  PortableRefuseFlipModel(true);
  StartSmall();
  PortableShowSecureDesktop(true);
  Work covered = Passes(4);
  EXPECT_EQ(covered.draws, 1) << "only the frame whose present reported it";
  EXPECT_EQ(covered.presents, 0);
  PortableShowSecureDesktop(false);
  Work back = Passes(1);
  EXPECT_EQ(back.draws, 1);
  EXPECT_EQ(back.presents, 1);
}

TEST_F(FramePacing, AnUnchangedFrameIsNotDrawnAgain) {
  StartSmall({"--speed", "0"});
  Work paused = Passes(3);
  EXPECT_EQ(paused.draws, 0);
  EXPECT_EQ(paused.presents, 0);
  // It waits for messages instead, at most 50 ms a pass.
  EXPECT_GE(paused.slowest, 0.045);
  EXPECT_LT(paused.slowest, 0.5);

  // Whatever changes the frame or what the window shows draws it once more.
  const struct {
    const char* what;
    std::function<void()> change;
  } changes[] = {
      {"a key changes the scene", [&] { Key(VK_TAB); }},
      {"a menu command changes the tone", [&] { ChooseFromTray(CMD_TONE_LIGHT); }},
      {"a resize", [&] { SetWindowPos(gApp.mainWindow, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER); }},
      {"a resize to the same size", [&] {
         SendMessageW(gApp.mainWindow, WM_SIZE, SIZE_RESTORED,
                      MAKELPARAM(gApp.renderWidth, gApp.renderHeight));
       }},
      {"an exposure", [&] { PortableExposeWindow(gApp.mainWindow); }},
      {"a mode change", [&] { Key('F'); }},
      {"the speed", [&] { Key(VK_UP); }},
  };
  for (const auto& c : changes) {
    c.change();
    Work after = Passes(1);
    EXPECT_EQ(after.draws, 1) << c.what;
    EXPECT_EQ(after.presents, 1) << c.what;
    if (gApp.speed == 0.0f) {
      EXPECT_EQ(Passes(2).draws, 0) << c.what;
    }
  }
  EXPECT_EQ(Passes(2).draws, 2) << "playing again";
}

TEST_F(FramePacing, AFixedTimeDrawsOnce) {
  StartSmall({"--t", "12", "--speed", "3"});
  EXPECT_EQ(Passes(3).draws, 0);
  EXPECT_GT(loop_.animationTime, 0.0);
}

}  // namespace
