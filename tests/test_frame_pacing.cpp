// When the main loop draws: not while the window is minimised, hidden or occluded, not
// again for an unchanged frame, again after whatever may have changed the picture on
// screen, and no more often than the frame rate, the display and the power-saving cap allow.
#include <chrono>
#include <functional>

#include "app/app_state.h"
#include "app/frame_rate.h"
#include "shell/main_window.h"
#include "shell/tray.h"
#include "tests/program_driver.h"

namespace {

TEST(FrameRate, SyncIntervalAndPeriodFollowRefreshRateAndPowerSaving) {
  const struct {
    float refresh;
    int32_t rate;
    bool powerSaving;
    uint32_t interval;
    float framesPerSecond;
  } cases[] = {
      {60, 0, false, 1, 60},      {60, 60, false, 1, 60},     {60, 30, false, 2, 30},
      {120, 0, false, 1, 120},    {120, 60, false, 2, 60},    {120, 30, false, 4, 30},
      {144, 0, false, 1, 144},    {144, 60, false, 2, 60},    {144, 30, false, 4, 30},
      {240, 0, false, 1, 240},    {240, 60, false, 4, 60},    {240, 30, false, 4, 30},
      {59.94f, 0, false, 1, 59.94f}, {59.94f, 60, false, 1, 59.94f}, {59.94f, 30, false, 2, 30},
      {30, 0, false, 1, 30},      {30, 60, false, 1, 30},     {30, 30, false, 1, 30},
      // 0 and 1 stand for the hardware's default rate.
      {0, 0, false, 1, 60},       {0, 30, false, 2, 30},      {1, 60, false, 1, 60},
      // Saving power: at most 30 frames a second, whatever was chosen.
      {144, 0, true, 4, 30},      {60, 60, true, 2, 30},      {240, 30, true, 4, 30},
      {30, 0, true, 1, 30},       {0, 0, true, 2, 30},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.refresh << " Hz, rate " << c.rate << ", saving "
                                    << c.powerSaving);
    FramePace pace = ChooseFramePace(c.refresh, c.rate, c.powerSaving);
    EXPECT_EQ(pace.syncInterval, c.interval);
    EXPECT_DOUBLE_EQ(pace.period, 1.0 / c.framesPerSecond);
  }
}

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
  // Frames presented while the frozen clock moves on by a second: only the program's own
  // waits (the frame timer, the display) move it.
  int FramesInASecond() {
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    int presents = PortablePresentCount();
    for (int pass = 0; pass < 400; ++pass) {
      QueryPerformanceCounter(&now);
      if (now.QuadPart - start.QuadPart >= gApp.perfFrequency) break;
      Pass();
    }
    return PortablePresentCount() - presents;
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

// Where Present does not wait, the frame timer alone keeps to the rate; the refresh is that
// of the window's monitor, read again after a display change.
TEST_F(FramePacing, FramesKeepToTheRateTheDisplayAndThePowerSavingCap) {
  const struct {
    DWORD refresh;
    int32_t rate;
    bool powerSaving;
    bool vsyncOff;
    int framesPerSecond;
    UINT interval;
  } cases[] = {
      {60, 0, false, true, 60, 1},    {60, 30, false, true, 30, 2},   {144, 0, false, true, 144, 1},
      {144, 60, false, true, 60, 2},  {144, 30, false, true, 30, 4},  {240, 0, true, true, 30, 4},
      {0, 0, false, true, 60, 1},     {30, 60, false, true, 30, 1},   {60, 30, false, false, 30, 2},
      {144, 0, false, false, 144, 1}, {144, 60, false, false, 60, 2},
  };
  StartSmall();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.refresh << " Hz, rate " << c.rate << ", saving "
                                    << c.powerSaving << ", vsync off " << c.vsyncOff);
    PortableSetMonitors({kSmallMonitor}, {c.refresh});
    PortableForceVsyncOff(c.vsyncOff);
    SetFrameRate(c.rate);
    gApp.powerSaving = c.powerSaving;
    EXPECT_NEAR(FramesInASecond(), c.framesPerSecond, 1);
    EXPECT_EQ(PortableLastSyncInterval(gApp.swapChain), c.interval);
  }
}

TEST_F(FramePacing, TheRefreshRateIsThatOfTheMonitorTheWindowIsOn) {
  PortableForceVsyncOff(true);
  StartSmall();
  PortableSetMonitors({kSmallMonitor, {320, 0, 640, 180}}, {60, 144});
  EXPECT_NEAR(FramesInASecond(), 60, 1);
  SetWindowPos(gApp.mainWindow, nullptr, 330, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_NEAR(FramesInASecond(), 144, 1);
}

// Windows before version 1803 refuse a high-resolution timer; an ordinary one paces instead.
TEST_F(FramePacing, WithoutHighResolutionTimersAnOrdinaryOnePaces) {
  PortableRefuseHighResolutionTimers(true);
  PortableForceVsyncOff(true);
  Store(L"FrameRate", 30);
  StartSmall();
  ASSERT_NE(gApp.frameTimer, nullptr);
  EXPECT_NEAR(FramesInASecond(), 30, 1);
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
