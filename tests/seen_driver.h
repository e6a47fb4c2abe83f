// Runs the program on the portable desktop with windows of other programs over it, the
// clock and the program's waits under the test's control.
#pragma once

#include "app/picture_seen.h"
#include "shell/coverage.h"
#include "shell/tray.h"
#include "tests/program_driver.h"

inline constexpr DWORD kOtherProcess = 4242;

class SeenTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    PortableSetMonitors({kSmallMonitor});
  }
  static HWND Other(RECT rect, DWORD exStyle = 0, const wchar_t* className = L"OtherApp",
                    DWORD style = WS_POPUP | WS_VISIBLE) {
    return PortableCreateOtherProgramWindow(kOtherProcess, className, style, exStyle, rect);
  }
  static SeenVerdict Verdict() { return PictureSeen(GatherSeenInputs()); }
  // A run in a small window on the screen, the clock and its waits under the test's control.
  void StartDrawing(std::vector<std::string> options) {
    PortableFreezeClock();
    PortableMakeWaitsVirtual(true);
    ASSERT_TRUE(Start(options));
    if (!gApp.wallpaperActive)
      SetWindowPos(gApp.mainWindow, nullptr, 0, 0, 336, 219, SWP_NOZORDER);
    Pass();
  }
  // One pass a little after the previous one: the frames it drew and the seconds the
  // program chose to wait.
  struct Step {
    int draws;
    double waited;
  };
  Step Timed() {
    PortableAdvanceClock(0.12);
    int draws = PortableDrawCount();
    ULONGLONG before = GetTickCount64();
    Pass();
    return {PortableDrawCount() - draws, (GetTickCount64() - before) / 1000.0};
  }
  // Passes until one draws nothing; how many drew.
  int DrawnUntilPaused() {
    int drawn = 0;
    while (drawn < 30 && Timed().draws == 1) ++drawn;
    return drawn;
  }
  // A check happens in the next pass, so that the backstop's is a second away.
  void CheckNow() {
    PortableMoveWindowByHand(Other({0, 0, 1, 1}), {0, 0, 1, 1});
    EXPECT_EQ(Timed().draws, 1);
  }
};
