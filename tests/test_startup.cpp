// Start-up, the main loop and the exit: settings from options or stored values, the single
// instance, the clamped clock, the fixed time, the log line, and the real program run
// until a termination signal.
#include <signal.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "app/app_state.h"
#include "shell/tray.h"
#include "tests/program_driver.h"
#include "tests/program_process.h"

namespace {

class Startup : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    PortableSetMonitors({kSmallMonitor});
  }
};

struct StoredCase {
  const char* name;
  std::vector<std::pair<const wchar_t*, DWORD>> stored;
  SceneId scene;
  float speed;
  ToneId tone;
  LangId lang;
  bool fullscreen;
  bool wallpaper;
  int32_t frameRate = 0;
};

void PrintTo(const StoredCase& c, std::ostream* out) { *out << c.name; }

class StoredSettings : public Startup, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredSettings, AreAcceptedInRangeElseDefaulted) {
  for (auto [name, value] : GetParam().stored) Store(name, value);
  ASSERT_TRUE(Start());
  EXPECT_EQ(gApp.scene, GetParam().scene);
  EXPECT_EQ(gApp.speed, GetParam().speed);
  EXPECT_EQ(gApp.tone, GetParam().tone);
  EXPECT_EQ(gApp.lang, GetParam().lang);
  EXPECT_EQ(gApp.fullscreen, GetParam().fullscreen);
  EXPECT_EQ(gApp.wallpaperActive, GetParam().wallpaper);
  EXPECT_EQ(gApp.frameRate, GetParam().frameRate);
  // Start-up only reads.
  for (auto [name, value] : GetParam().stored) EXPECT_EQ(Stored(name), value);
}

INSTANTIATE_TEST_SUITE_P(
    Values, StoredSettings,
    ::testing::Values(
        StoredCase{"Empty", {}, 0, 1.0f, 0, 0, true, false},
        StoredCase{"UpperEdges",
                   {{L"Scene", 1}, {L"Speed", 1000}, {L"Tone", 2}, {L"Lang", 3}, {L"Mode", 2}},
                   1, 10.0f, 2, 3, false, true},
        StoredCase{"Hundredths", {{L"Speed", 37}}, 0, 0.37f, 0, 0, true, false},
        StoredCase{"JustBeyond",
                   {{L"Scene", 2}, {L"Speed", 1001}, {L"Tone", 3}, {L"Lang", 4}, {L"Mode", 3}},
                   0, 1.0f, 0, 0, true, false},
        StoredCase{"NegativeIsLarge",
                   {{L"Scene", 0xFFFFFFFF}, {L"Speed", 0}, {L"Mode", 1}, {L"Tone", 0xFFFFFFFE}},
                   0, 0.0f, 0, 0, false, false},
        // Only the rates the menu offers are taken; any other means every display refresh.
        StoredCase{"FrameRate30", {{L"FrameRate", 30}}, 0, 1.0f, 0, 0, true, false, 30},
        StoredCase{"FrameRate60", {{L"FrameRate", 60}}, 0, 1.0f, 0, 0, true, false, 60},
        StoredCase{"FrameRateBetween", {{L"FrameRate", 45}}, 0, 1.0f, 0, 0, true, false, 0},
        StoredCase{"FrameRateAbove", {{L"FrameRate", 120}}, 0, 1.0f, 0, 0, true, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Startup, OptionsOverrideValidStoredValuesWithoutARangeTest) {
  Store(L"Scene", 1);
  Store(L"Speed", 200);
  Store(L"Tone", 1);
  Store(L"Lang", 3);
  Store(L"Mode", 0);
  ASSERT_TRUE(Start({"--scene", "title", "--speed", "25", "--tone", "light", "--lang", "en",
                     "--window"}));
  EXPECT_EQ(gApp.scene, 0);
  EXPECT_EQ(gApp.speed, 25.0f);
  EXPECT_EQ(gApp.tone, 2);
  EXPECT_EQ(gApp.lang, 2);
  EXPECT_FALSE(gApp.fullscreen);
  EXPECT_FALSE(gApp.wallpaperActive);
}

TEST_F(Startup, WallpaperOptionWinsOverWindow) {
  Store(L"Mode", 1);
  ASSERT_TRUE(Start({"--window", "--wallpaper"}));
  EXPECT_TRUE(gApp.wallpaperActive);
}

TEST_F(Startup, ASecondInstanceEndsAtOnceWithZero) {
  HANDLE first = CreateMutexW(nullptr, TRUE, L"VelmoraTitleLive.SingleInstance");
  std::string log = scratch_ / "second.log";
  EXPECT_FALSE(Start({"--window", "--log", log}));
  EXPECT_EQ(exitCode_, 0);
  EXPECT_TRUE(PortableProgramWindows().empty());
  EXPECT_TRUE(PortableTrayIcons().empty());
  EXPECT_FALSE(std::filesystem::exists(log));
  CloseHandle(first);
}

TEST_F(Startup, ARendererThatCannotStartEndsWithOneAndNoTrayIcon) {
  PortableFailNext(PortableD3DFailure::Device, 2);
  EXPECT_FALSE(Start());
  EXPECT_EQ(exitCode_, 1);
  EXPECT_TRUE(PortableTrayIcons().empty());
}

TEST_F(Startup, TheErrorBoxOpensAboveTheFullscreenWindow) {
  PortableFailNext(PortableD3DFailure::PixelShader);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(Start({"--lang", "en"}));
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(exitCode_, 1);
  ASSERT_EQ(PortableMessageBoxes().size(), 1u);
  const PortableMessageBox& box = PortableMessageBoxes()[0];
  EXPECT_EQ(box.text, L"Failed to create the shaders\nError code: 0x80004005");
  EXPECT_EQ(box.type, (UINT)(MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND));
  EXPECT_TRUE(IsWindowVisible(gApp.mainWindow));
  EXPECT_TRUE(box.coveredBy.empty()) << "the box opened under the topmost fullscreen window";
  EXPECT_TRUE(box.foreground);
}

TEST_F(Startup, LogLineOfAWallpaperRunInTheMainMenu) {
  std::string log = scratch_ / "start.log";
  ASSERT_TRUE(Start({"--wallpaper", "--scene", "menu", "--log", log}));
  EXPECT_EQ(ReadFile(log), "tray=1 full=0 wallpaper=1 scene=1\n");
}

TEST_F(Startup, ALogThatCannotBeOpenedIsNoObstacle) {
  ASSERT_TRUE(Start({"--log", scratch_ / "missing/start.log"}));
  Pass();
}

TEST_F(Startup, AStallAdvancesTheAnimationByAQuarterSecondTimesTheSpeed) {
  PortableFreezeClock();
  ASSERT_TRUE(Start({"--speed", "2"}));
  Pass();
  EXPECT_EQ(loop_.animationTime, 0.0);
  PortableAdvanceClock(2.0);
  Pass();
  EXPECT_DOUBLE_EQ(loop_.animationTime, 0.5);
  PortableAdvanceClock(0.1);
  Pass();
  EXPECT_DOUBLE_EQ(loop_.animationTime, 0.7);
  EXPECT_DOUBLE_EQ(loop_.shownTime, 0.7);
  // A new speed applies from the next pass on; paused stands still.
  HandleCommand(CMD_SPEED_FIRST);
  PortableAdvanceClock(0.1);
  Pass();
  EXPECT_DOUBLE_EQ(loop_.animationTime, 0.7);
}

TEST_F(Startup, AFixedTimeShowsTheSameFrameWhateverTheSpeed) {
  auto frameAfter = [&](double seconds) {
    PortableAdvanceClock(seconds);
    Pass();
    std::vector<uint8_t> rgba;
    UINT w = 0, h = 0;
    EXPECT_TRUE(PortableReadPresented(gApp.swapChain, &rgba, &w, &h));
    return rgba;
  };
  PortableFreezeClock();
  ASSERT_TRUE(Start({"--t", "3.5", "--speed", "5"}));
  std::vector<uint8_t> first = frameAfter(0.2);
  std::vector<uint8_t> second = frameAfter(0.2);
  EXPECT_EQ(loop_.shownTime, 3.5);
  EXPECT_DOUBLE_EQ(loop_.animationTime, 2.0);  // still advancing behind the fixed time
  EXPECT_EQ(first, second);
  // Without the option the same passes show different frames.
  gApp.fixedTimeGiven = false;
  EXPECT_NE(frameAfter(0.2), second);
}

// The real program, started as its own process with the test's configuration and lock
// directories.
class RealProgram : public Startup {
 protected:
  pid_t Spawn(std::vector<std::string> options, int held = 0) {
    return SpawnProgram(options, held);
  }
  // The exit code, or -1 when the program did not exit normally.
  static int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Waits (a bounded number of short sleeps) until the program has written its log.
  static bool AwaitFile(const std::string& path) {
    for (int i = 0; i < 6000; ++i) {
      if (!ReadFile(path).empty()) return true;
      usleep(10000);
    }
    return false;
  }
};

TEST_F(RealProgram, RunsUntilATerminationSignalAndExitsWithZero) {
  const struct {
    const char* mode;
    int signal;
    const char* line;
  } cases[] = {{"--window", SIGINT, "tray=1 full=0 wallpaper=0 scene=0\n"},
               {"--wallpaper", SIGTERM, "tray=1 full=0 wallpaper=1 scene=0\n"},
               {"--wallpaper", SIGHUP, "tray=1 full=0 wallpaper=1 scene=0\n"}};
  for (const auto& c : cases) {
    std::string log = scratch_ / (std::string(c.mode + 2) + std::to_string(c.signal) + ".log");
    pid_t pid = Spawn({c.mode, "--log", log});
    ASSERT_TRUE(AwaitFile(log)) << c.mode;
    EXPECT_EQ(ReadFile(log), c.line);
    kill(pid, c.signal);
    EXPECT_EQ(Wait(pid), 0) << c.mode;
  }
}

// A request that comes before the program has done anything still ends it the normal way.
TEST_F(RealProgram, TerminationSignalAtTheStartExitsWithZero) {
  pid_t pid = Spawn({"--window"}, SIGTERM);
  kill(pid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 3000 && waitpid(pid, &status, WNOHANG) == 0; ++i) usleep(10000);
  if (waitpid(pid, nullptr, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "still running 30 s after the signal";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// A wallpaper killed outright leaves its record behind; the next start puts the desktop back
// and removes it: the recorded wallpaper while the user's profile still names it, and
// nothing over a wallpaper the user chose meanwhile.
TEST_F(RealProgram, AStartAfterAKilledWallpaperRestoresTheDesktop) {
  const wchar_t* desktop = L"Control Panel\\Desktop";
  auto setProfile = [&](const wchar_t* path) {
    RegSetKeyValueW(HKEY_CURRENT_USER, desktop, L"Wallpaper", REG_SZ, path,
                    (DWORD)((wcslen(path) + 1) * sizeof(wchar_t)));
  };
  for (bool changedMeanwhile : {false, true}) {
    SCOPED_TRACE(changedMeanwhile ? "changed meanwhile" : "unchanged");
    setProfile(L"/pictures/hills.jpg");
    std::string log = scratch_ / "killed.log", next = scratch_ / "next.log";
    std::filesystem::remove(log);
    std::filesystem::remove(next);
    pid_t pid = Spawn({"--wallpaper", "--log", log});
    ASSERT_TRUE(AwaitFile(log));
    EXPECT_EQ(StoredText(kSettingsKey, L"RestoreWallpaper"), L"/pictures/hills.jpg");
    kill(pid, SIGKILL);
    EXPECT_EQ(Wait(pid), -1);
    EXPECT_EQ(StoredText(kSettingsKey, L"RestoreWallpaper"), L"/pictures/hills.jpg");
    if (changedMeanwhile) setProfile(L"/pictures/sea.jpg");
    pid = Spawn({"--window", "--log", next});
    ASSERT_TRUE(AwaitFile(next));
    EXPECT_EQ(StoredText(kSettingsKey, L"RestoreWallpaper"), L"<none>");
    EXPECT_EQ(StoredText(desktop, L"Wallpaper"),
              changedMeanwhile ? L"/pictures/sea.jpg" : L"/pictures/hills.jpg");
    kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), 0);
  }
}

TEST_F(RealProgram, BesideARunningInstanceASecondEndsAndADumpRunWorks) {
  ASSERT_TRUE(Start());  // this process is the running instance
  std::string log = scratch_ / "second.log";
  EXPECT_EQ(Wait(Spawn({"--window", "--log", log})), 0);
  EXPECT_FALSE(std::filesystem::exists(log));

  std::string bmp = scratch_ / "frame.bmp";
  EXPECT_EQ(Wait(Spawn({"--dump", bmp, "--size", "64x36"})), 0);
  EXPECT_EQ(ReadFile(bmp).substr(0, 2), "BM");
  Pass();
}

}  // namespace
