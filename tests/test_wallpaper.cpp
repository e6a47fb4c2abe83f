// Wallpaper mode: the desktop layer found behind the icons in each shell layout, the
// window's styles and place on its monitor and below the icons, the wait for a shell that
// is not there or does not answer, a shell that ends and starts again (also in the middle
// of an attach), display changes, the wallpaper put back on every way out, and the record
// that lets a start after a crash put it back.
#include "app/app_state.h"
#include "shell/desktop.h"
#include "shell/tray.h"
#include "tests/program_driver.h"

namespace {

class Wallpaper : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    PortableSetMonitors({kSmallMonitor});
  }
  // A top-level window of the test's own holding an icon view, placed last in Z order.
  HWND AddIconHolderAtTheBottom() {
    WNDCLASSEXW holderClass = {};
    holderClass.cbSize = sizeof(holderClass);
    holderClass.lpfnWndProc = DefWindowProcW;
    holderClass.lpszClassName = L"IconHolder";
    RegisterClassExW(&holderClass);
    HWND holder = CreateWindowExW(0, L"IconHolder", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10,
                                  nullptr, nullptr, nullptr, nullptr);
    CreateWindowExW(0, L"SHELLDLL_DefView", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, holder,
                    nullptr, nullptr, nullptr);
    SetWindowPos(holder, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return holder;
  }
  // Shown over `rect` inside `worker`, with the tray icon in place.
  void ExpectAttachedTo(HWND worker, RECT rect = kSmallMonitor) {
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(GetParent(gApp.mainWindow), worker);
    EXPECT_TRUE(IsWindowVisible(gApp.mainWindow));
    EXPECT_EQ(WindowRect(gApp.mainWindow), rect);
    EXPECT_EQ(PortableTrayIcons().size(), 1u);
  }
  // The wallpaper to put back after a crash, as recorded in the settings key.
  static std::wstring Record() { return StoredText(kSettingsKey, L"RestoreWallpaper"); }
};

// What depends on where the shell keeps its desktop runs in each of its layouts.
class WallpaperInLayout : public Wallpaper,
                          public ::testing::WithParamInterface<PortableShellLayout> {
 protected:
  void SetUp() override {
    Wallpaper::SetUp();
    PortableResetDesktop(GetParam());
    PortableSetMonitors({kSmallMonitor});
  }
  bool Raised() const { return GetParam() == PortableShellLayout::Raised; }
  // Where the wallpaper belongs once the shell has answered: the worker after Progman, the
  // worker inside it, or in the raised desktop Progman itself.
  HWND Layer() const {
    HWND progman = FindWindowW(L"Progman", nullptr);
    if (GetParam() == PortableShellLayout::Classic)
      return FindWindowExW(nullptr, progman, L"WorkerW", nullptr);
    return Raised() ? progman : FindWindowExW(progman, nullptr, L"WorkerW", nullptr);
  }
  // In the layer over `rect`; in the raised desktop also layered and opaque, right below the
  // icon view, with the shell's own worker at the bottom.
  void ExpectInLayer(RECT rect = kSmallMonitor) {
    ExpectAttachedTo(Layer(), rect);
    LONG_PTR exStyle = GetWindowLongPtrW(gApp.mainWindow, GWL_EXSTYLE);
    EXPECT_EQ((exStyle & WS_EX_LAYERED) != 0, Raised());
    if (!Raised()) return;
    BYTE alpha = 0;
    DWORD flags = 0;
    EXPECT_TRUE(GetLayeredWindowAttributes(gApp.mainWindow, nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 255);
    EXPECT_EQ(flags, (DWORD)LWA_ALPHA);
    HWND progman = Layer();
    HWND view = FindWindowExW(progman, nullptr, L"SHELLDLL_DefView", nullptr);
    EXPECT_EQ(FindWindowExW(progman, view, nullptr, nullptr), gApp.mainWindow);
    HWND worker = FindWindowExW(progman, nullptr, L"WorkerW", nullptr);
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(FindWindowExW(progman, worker, nullptr, nullptr), nullptr);
  }
};

std::string LayoutName(const ::testing::TestParamInfo<PortableShellLayout>& info) {
  const char* const names[] = {"Classic", "Nested", "Raised"};
  return names[(int)info.param];
}

INSTANTIATE_TEST_SUITE_P(Layouts, WallpaperInLayout,
                         ::testing::Values(PortableShellLayout::Classic,
                                           PortableShellLayout::Nested,
                                           PortableShellLayout::Raised),
                         LayoutName);

TEST_P(WallpaperInLayout, TheWindowGoesIntoTheDesktopLayer) {
  HWND progman = FindWindowW(L"Progman", nullptr);
  if (Raised()) {
    // A worker the shell made earlier, wherever it stands, goes to the bottom.
    SendMessageW(progman, 0x052C, 0, 0);
    SetWindowPos(FindWindowExW(progman, nullptr, L"WorkerW", nullptr), HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
  }
  ASSERT_TRUE(Start({"--wallpaper", "--window"}));
  ExpectInLayer();
  EXPECT_TRUE(gApp.wallpaperActive);
  EXPECT_FALSE(gApp.fullscreen);
  DWORD style = (DWORD)GetWindowLongPtrW(gApp.mainWindow, GWL_STYLE);
  EXPECT_EQ(style, (DWORD)(WS_CHILD | WS_VISIBLE));
  EXPECT_EQ((DWORD)GetWindowLongPtrW(gApp.mainWindow, GWL_EXSTYLE) & ~WS_EX_LAYERED,
            (DWORD)(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW));
  EXPECT_EQ(gApp.renderWidth, 320);
  EXPECT_EQ(gApp.renderHeight, 180);
  EXPECT_NE(GetForegroundWindow(), gApp.mainWindow);
  EXPECT_TRUE(WallpaperOnDesktopLayer());
  Pass();
}

TEST_F(Wallpaper, TheLastIconHolderVisitedDecidesEvenWithoutAWorkerAfterIt) {
  AddIconHolderAtTheBottom();
  ASSERT_TRUE(Start({"--wallpaper"}));
  // Z order: Progman, its worker, the holder. The holder is visited last and has no worker
  // after it, so the search comes up empty and falls back to Progman itself, where the
  // window goes below the icon view.
  HWND progman = FindWindowW(L"Progman", nullptr);
  EXPECT_EQ(GetParent(gApp.mainWindow), progman);
  HWND view = FindWindowExW(progman, nullptr, L"SHELLDLL_DefView", nullptr);
  EXPECT_EQ(FindWindowExW(progman, view, L"VelmoraTitleLive", nullptr), gApp.mainWindow);
}

// Without a shell nothing covers the screen: the window waits hidden, the tray menu works,
// and the window goes behind the icons once a shell starts.
TEST_P(WallpaperInLayout, WithoutAShellTheWindowWaitsHiddenUntilTheDesktopAppears) {
  PortableResetDesktop(PortableShellLayout::None);
  PortableSetMonitors({kSmallMonitor});
  std::string log = scratch_ / "start.log";
  ASSERT_TRUE(Start({"--wallpaper", "--log", log}));
  EXPECT_EQ(ReadFile(log), "tray=1 full=0 wallpaper=1 scene=0\n");
  EXPECT_TRUE(gApp.wallpaperActive);
  EXPECT_FALSE(IsWindowVisible(gApp.mainWindow));
  EXPECT_EQ(GetParent(gApp.mainWindow), nullptr);
  Pass();
  ChooseFromTray(CMD_SCENE_MENU);
  EXPECT_EQ(gApp.scene, 1);
  EXPECT_FALSE(IsWindowVisible(gApp.mainWindow));

  PortableStartShell(GetParam());
  Pass();
  ExpectInLayer();
  Pass();
}

TEST_F(Wallpaper, ATerminationSignalEndsAWallpaperThatWaitsForAShell) {
  PortableResetDesktop(PortableShellLayout::None);
  PortableSetWallpaperPath(L"/pictures/hills.jpg");
  ASSERT_TRUE(Start({"--wallpaper"}));
  Pass();
  ASSERT_FALSE(IsWindowVisible(gApp.mainWindow));
  PortableRequestClose();  // SIGINT, SIGTERM or SIGHUP
  EXPECT_EQ(RunToExit(), 0);
  EXPECT_TRUE(PortableTrayIcons().empty());
  EXPECT_EQ(PortableDesktopRepaintCount(), 1);
}

// Explorer restarting: the wallpaper window dies with the shell's windows, and the program
// stays in wallpaper mode and attaches a new window to the new shell's desktop.
TEST_P(WallpaperInLayout, AShellThatEndsAndStartsAgainGetsANewWallpaperWindow) {
  PortableSetWallpaperPath(L"/pictures/hills.jpg");
  ASSERT_TRUE(Start({"--wallpaper"}));
  HWND first = gApp.mainWindow;
  PortableEndShell();
  EXPECT_FALSE(IsWindow(first));
  Pass();
  EXPECT_TRUE(gApp.wallpaperActive);
  ASSERT_NE(gApp.mainWindow, nullptr);
  EXPECT_FALSE(IsWindowVisible(gApp.mainWindow));

  PortableStartShell(GetParam());
  Pass();
  ExpectInLayer();
  EXPECT_NE(gApp.renderTargetView, nullptr);
  Pass();
  EXPECT_EQ(Record(), L"/pictures/hills.jpg");
  ChooseFromTray(CMD_QUIT);
  EXPECT_EQ(RunToExit(), 0);
  EXPECT_EQ(PortableWallpaperPath(), L"/pictures/hills.jpg");
  EXPECT_EQ(PortableDesktopRepaintCount(), 1);
}

// The desktop's windows may come up after the taskbar: they are looked for once a second
// for half a minute, and a later "TaskbarCreated" starts looking again.
TEST_P(WallpaperInLayout, TheDesktopIsLookedForOnceASecondForHalfAMinute) {
  PortableFreezeClock();
  ASSERT_TRUE(Start({"--wallpaper"}));
  PortableEndShell();
  Pass();
  PortableRestartTaskbar();  // the taskbar first, without its desktop
  Pass();
  PortableStartDesktopWindows(GetParam());
  PortableAdvanceClock(0.5);
  Pass();
  EXPECT_FALSE(IsWindowVisible(gApp.mainWindow));
  PortableAdvanceClock(0.5);
  Pass();
  EXPECT_TRUE(IsWindowVisible(gApp.mainWindow));

  PortableEndShell();
  Pass();
  PortableAdvanceClock(31.0);
  PortableStartDesktopWindows(GetParam());
  for (int i = 0; i < 3; ++i) {
    PortableAdvanceClock(1.0);
    Pass();
  }
  EXPECT_FALSE(IsWindowVisible(gApp.mainWindow));
  PortableRestartTaskbar();
  Pass();
  ExpectInLayer();
}

// A shell that is still starting does not answer at once; the window waits for it rather
// than going into its Progman, and takes the worker the shell makes once it answers.
TEST_P(WallpaperInLayout, AStartingShellThatDoesNotAnswerYetIsWaitedFor) {
  PortableFreezeClock();
  ASSERT_TRUE(Start({"--wallpaper"}));
  PortableEndShell();
  Pass();
  PortableSetShellBusy(true);
  PortableStartShell(GetParam());
  Pass();
  if (!Raised()) {
    EXPECT_FALSE(IsWindowVisible(gApp.mainWindow));
    EXPECT_EQ(GetParent(gApp.mainWindow), nullptr);
  }
  PortableSetShellBusy(false);
  PortableAdvanceClock(1.0);
  Pass();
  ExpectInLayer();
}

// A busy shell, at a start or after a restart that it survived in Progman's place: a start
// may take Progman for the time being, a window made anew waits hidden as without a shell,
// and either goes into the worker once the shell answers. In the raised desktop Progman is
// the place from the first.
TEST_P(WallpaperInLayout, ABusyShellsWorkerIsTakenOnceItAnswers) {
  for (bool atStart : {true, false}) {
    SCOPED_TRACE(atStart ? "at the start" : "after a restart");
    PortableResetDesktop(GetParam());
    PortableSetMonitors({kSmallMonitor});
    PortableFreezeClock();
    if (atStart) {
      PortableSetShellBusy(true);
      ASSERT_TRUE(Start({"--wallpaper"}));
    } else {
      ASSERT_TRUE(Start({"--wallpaper"}));
      PortableEndShell();
      PortableSetShellBusy(true);
      PortableStartShell(GetParam());
      Pass();  // the window made anew finds a Progman that does not answer
    }
    PortableAdvanceClock(1.0);
    Pass();
    HWND meanwhile = Raised() || atStart ? FindWindowW(L"Progman", nullptr) : nullptr;
    EXPECT_EQ(GetParent(gApp.mainWindow), meanwhile);
    EXPECT_EQ(IsWindowVisible(gApp.mainWindow), meanwhile != nullptr);
    PortableSetShellBusy(false);
    PortableAdvanceClock(1.0);
    Pass();
    ExpectInLayer();
    EXPECT_TRUE(WallpaperOnDesktopLayer());
    ChooseFromTray(CMD_QUIT);
    EXPECT_EQ(RunToExit(), 0);
    ReleaseRenderer();
    gApp = AppState{};
  }
}

// The shell ends right as it takes the new wallpaper window, before the window has a swap
// chain: no error, the program waits for the desktop and attaches a window made anew.
TEST_P(WallpaperInLayout, AShellThatEndsDuringTheAttachIsWaitedFor) {
  for (bool atStart : {true, false}) {
    SCOPED_TRACE(atStart ? "at the start" : "at a mode change");
    PortableResetDesktop(GetParam());
    PortableSetMonitors({kSmallMonitor});
    if (atStart) {
      PortableEndShellAtNextParent();
      ASSERT_TRUE(Start({"--wallpaper"}));
    } else {
      ASSERT_TRUE(Start({"--window"}));
      ShrinkWindow();
      PortableEndShellAtNextParent();
      HandleCommand(CMD_MODE_WALLPAPER);
      EXPECT_EQ(Stored(L"Mode"), 2);
    }
    EXPECT_TRUE(PortableMessageBoxes().empty());
    EXPECT_TRUE(gApp.wallpaperActive);
    Pass();
    EXPECT_FALSE(IsWindowVisible(gApp.mainWindow));
    PortableStartShell(GetParam());
    Pass();
    ExpectInLayer();
    EXPECT_NE(gApp.renderTargetView, nullptr);
    ChooseFromTray(CMD_QUIT);
    EXPECT_EQ(RunToExit(), 0);
    ReleaseRenderer();
    gApp = AppState{};
  }
}

// Quit ends the program with 0 and restores the desktop even while the shell's end has
// left the program without a main window.
TEST_F(Wallpaper, QuitWithoutAMainWindowStillEndsWithZeroAndRestores) {
  PortableSetWallpaperPath(L"/pictures/hills.jpg");
  ASSERT_TRUE(Start({"--wallpaper"}));
  PortableEndShell();
  PortableRestartTaskbar();
  Deliver();  // the icon is back; no pass has made the new window yet
  EXPECT_EQ(gApp.mainWindow, nullptr);
  ChooseFromTray(CMD_QUIT);
  EXPECT_EQ(RunToExit(), 0);
  EXPECT_EQ(PortableWallpaperPath(), L"/pictures/hills.jpg");
  EXPECT_EQ(PortableDesktopRepaintCount(), 1);
  EXPECT_TRUE(PortableTrayIcons().empty());
}

// Leaving wallpaper mode while the shell's end has left the program without a window still
// puts the desktop back.
TEST_F(Wallpaper, AModeChangeWhileTheWindowIsLostRestoresTheDesktop) {
  PortableSetWallpaperPath(L"/pictures/hills.jpg");
  ASSERT_TRUE(Start({"--wallpaper"}));
  PortableEndShell();
  ASSERT_EQ(gApp.mainWindow, nullptr);
  HandleCommand(CMD_MODE_WINDOWED);
  EXPECT_FALSE(gApp.wallpaperActive);
  EXPECT_EQ(PortableWallpaperWriteCount(), 1);
  EXPECT_EQ(PortableWallpaperPath(), L"/pictures/hills.jpg");
  EXPECT_EQ(PortableDesktopRepaintCount(), 1);
  EXPECT_EQ(Record(), L"<none>");
}

// After a display change the wallpaper covers its monitor again, at the monitor's new
// offset inside the desktop layer, which now spans another virtual screen.
TEST_P(WallpaperInLayout, ADisplayChangeFitsTheWallpaperToItsMonitorInsideTheLayer) {
  const RECT side = {-400, 50, -80, 230};
  PortableSetMonitors({kSmallMonitor, side});
  ASSERT_TRUE(Start({"--wallpaper"}));
  EXPECT_EQ(WindowRect(gApp.mainWindow), kSmallMonitor);
  PortableSetMonitors({{0, 0, 400, 240}});
  EXPECT_EQ(WindowRect(Layer()), (RECT{0, 0, 400, 240}));
  ExpectInLayer({0, 0, 400, 240});
  EXPECT_EQ(gApp.renderWidth, 400);
  EXPECT_EQ(gApp.renderHeight, 240);
  Pass();
}

// A shell that starts anew around a wallpaper window it did not destroy: "TaskbarCreated"
// finds the window in a layer that is no longer the desktop's, and moves it.
TEST_F(Wallpaper, AfterTaskbarCreatedAWindowLeftInAnOldLayerIsMoved) {
  ASSERT_TRUE(Start({"--wallpaper"}));
  EXPECT_TRUE(WallpaperOnDesktopLayer());
  HWND holder = AddIconHolderAtTheBottom();
  HWND fresh = CreateWindowExW(0, L"WorkerW", L"", WS_POPUP | WS_VISIBLE, 0, 0, 320, 180,
                               nullptr, nullptr, nullptr, nullptr);
  SetWindowPos(fresh, holder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_FALSE(WallpaperOnDesktopLayer());
  PortableRestartTaskbar();
  Pass();
  ExpectAttachedTo(fresh);
}

TEST_F(Wallpaper, TheWorkerAfterTheLastIconHolderIsUsed) {
  HWND holder = AddIconHolderAtTheBottom();
  HWND own = CreateWindowExW(0, L"WorkerW", L"", WS_POPUP | WS_VISIBLE, 0, 0, 320, 180, nullptr,
                             nullptr, nullptr, nullptr);
  SetWindowPos(own, holder, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ASSERT_TRUE(Start({"--wallpaper"}));
  // Z order: Progman, its worker, the holder, the test's worker.
  HWND progman = FindWindowW(L"Progman", nullptr);
  ASSERT_NE(FindWindowExW(nullptr, progman, L"WorkerW", nullptr), own);
  EXPECT_EQ(GetParent(gApp.mainWindow), own);
}

TEST_P(WallpaperInLayout, OnAMonitorAwayFromTheOriginTheWindowIsOffsetInsideTheLayer) {
  const RECT side = {-400, 50, -80, 230};
  PortableSetMonitors({kSmallMonitor, side});
  ASSERT_TRUE(Start({"--window"}));
  SetWindowPos(gApp.mainWindow, nullptr, -390, 60, 300, 150, SWP_NOZORDER);
  HandleCommand(CMD_MODE_WALLPAPER);
  HWND worker = Layer();
  ExpectInLayer(side);
  EXPECT_EQ(WindowRect(worker), (RECT{-400, 0, 320, 230}));  // the virtual screen
  POINT corner = {side.left, side.top};
  ScreenToClient(worker, &corner);
  EXPECT_EQ(corner.x, 0);
  EXPECT_EQ(corner.y, 50);
  EXPECT_EQ(gApp.renderWidth, 320);
}

TEST_F(Wallpaper, PathIsReadAfreshEachTimeAndKeptWhenASecondReadFails) {
  PortableSetWallpaperPath(L"/pictures/first.jpg");
  ASSERT_TRUE(Start({"--wallpaper"}));
  EXPECT_EQ(gApp.savedWallpaperPath, L"/pictures/first.jpg");

  HandleCommand(CMD_MODE_WINDOWED);
  EXPECT_EQ(PortableWallpaperWriteCount(), 1);
  EXPECT_EQ(PortableDesktopRepaintCount(), 1);
  ShrinkWindow();

  PortableSetWallpaperPath(L"/pictures/second.jpg");
  HandleCommand(CMD_MODE_WALLPAPER);
  EXPECT_EQ(gApp.savedWallpaperPath, L"/pictures/second.jpg");
  EXPECT_EQ(Record(), L"/pictures/second.jpg");
  HandleCommand(CMD_MODE_FULLSCREEN);
  EXPECT_EQ(PortableWallpaperPath(), L"/pictures/second.jpg");
  EXPECT_EQ(Record(), L"<none>");

  PortableSetWallpaperPath(L"/pictures/third.jpg");
  PortableFailWallpaperReads(1);
  HandleCommand(CMD_MODE_WALLPAPER);
  EXPECT_EQ(gApp.savedWallpaperPath, L"/pictures/second.jpg");
  EXPECT_EQ(Record(), L"/pictures/second.jpg");
  ChooseFromTray(CMD_QUIT);
  EXPECT_EQ(RunToExit(), 0);
  EXPECT_EQ(PortableWallpaperPath(), L"/pictures/second.jpg");
  EXPECT_EQ(PortableDesktopRepaintCount(), 3);
}

TEST_F(Wallpaper, WithNoWallpaperSetTheRestoreOnlyRepaints) {
  ASSERT_TRUE(Start({"--wallpaper"}));
  EXPECT_EQ(Record(), L"");
  HandleCommand(CMD_MODE_FULLSCREEN);
  EXPECT_EQ(PortableWallpaperWriteCount(), 0);
  EXPECT_EQ(PortableDesktopRepaintCount(), 1);
  EXPECT_EQ(Record(), L"<none>");
}

// Every way out of a wallpaper run ends with exit code 0, no tray icon, the wallpaper put
// back, the desktop repainted and the single-instance lock free again.
class WallpaperQuit : public Wallpaper, public ::testing::WithParamInterface<int> {};

TEST_P(WallpaperQuit, RestoresTheDesktop) {
  PortableSetWallpaperPath(L"/pictures/hills.jpg");
  ASSERT_TRUE(Start({"--wallpaper"}));
  EXPECT_EQ(Record(), L"/pictures/hills.jpg");
  PortableSetWallpaperPath(L"");
  switch (GetParam()) {
    case 0:
      ChooseFromTray(CMD_QUIT);
      break;
    case 1:
      PortableRequestClose();  // SIGINT or SIGTERM
      break;
    case 2:
      PostMessageW(gApp.mainWindow, WM_CLOSE, 0, 0);
      break;
    case 3:  // an installer or a task manager asking the program to end
      PostMessageW(gApp.trayWindow, WM_CLOSE, 0, 0);
      break;
    case 4:  // the Restart Manager, which waits for the program to end by itself
      ASSERT_TRUE(PortableEndSession(ENDSESSION_CLOSEAPP));
      break;
  }
  EXPECT_EQ(RunToExit(), 0);
  EXPECT_TRUE(PortableTrayIcons().empty());
  EXPECT_FALSE(IsWindow(gApp.trayWindow));
  EXPECT_FALSE(IsWindow(gApp.mainWindow));
  EXPECT_EQ(PortableWallpaperPath(), L"/pictures/hills.jpg");
  EXPECT_EQ(PortableDesktopRepaintCount(), 1);
  EXPECT_EQ(Record(), L"<none>");
  HANDLE lock = CreateMutexW(nullptr, TRUE, L"VelmoraTitleLive.SingleInstance");
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
  CloseHandle(lock);
}

INSTANTIATE_TEST_SUITE_P(TrayQuitSignalCloseAndSessionEnd, WallpaperQuit,
                         ::testing::Values(0, 1, 2, 3, 4));

// A log-off may end the process as soon as its windows have answered: by then the icon is
// gone and the wallpaper is back. A session end that is called off changes nothing.
TEST_F(Wallpaper, ALogOffRestoresTheDesktopBeforeTheProcessIsEnded) {
  PortableSetWallpaperPath(L"/pictures/hills.jpg");
  ASSERT_TRUE(Start({"--wallpaper"}));
  PortableSetWallpaperPath(L"");
  ASSERT_FALSE(PortableEndSession(ENDSESSION_LOGOFF, false));
  Pass();
  EXPECT_EQ(PortableTrayIcons().size(), 1u);
  EXPECT_TRUE(IsWindowVisible(gApp.mainWindow));
  EXPECT_EQ(PortableDesktopRepaintCount(), 0);

  PortableSetExitObserver(ReportLeftovers);
  EXPECT_EXIT(PortableEndSession(ENDSESSION_LOGOFF),
              ::testing::ExitedWithCode(kPortableSessionEndExitCode),
              "icons=0 wallpaper=/pictures/hills.jpg repaints=1");
  PortableSetExitObserver(nullptr);
}

// A program that died as the wallpaper left its record; the next start puts the desktop back
// once: with the recorded wallpaper while the system still reports it, else by a repaint
// alone.
struct LeftBehind {
  const char* what;
  bool recorded;
  const wchar_t* record;   // REG_SZ, or null for a value of another type
  const wchar_t* current;  // what the system reports, or null when it cannot tell
  const wchar_t* after;
  int writes;
  int repaints;
};
class WallpaperLeftBehind : public Wallpaper, public ::testing::WithParamInterface<LeftBehind> {};

TEST_P(WallpaperLeftBehind, AStartRestoresTheDesktopOnce) {
  const LeftBehind& c = GetParam();
  if (c.recorded && c.record)
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"RestoreWallpaper", REG_SZ, c.record,
                    (DWORD)((wcslen(c.record) + 1) * sizeof(wchar_t)));
  if (c.recorded && !c.record) Store(L"RestoreWallpaper", 1);
  PortableSetWallpaperPath(c.current ? c.current : L"/pictures/sea.jpg");
  if (!c.current) PortableFailWallpaperReads(1);
  ASSERT_TRUE(Start({"--window"}));
  EXPECT_EQ(PortableWallpaperPath(), c.after);
  EXPECT_EQ(PortableWallpaperWriteCount(), c.writes);
  EXPECT_EQ(PortableDesktopRepaintCount(), c.repaints);
  EXPECT_EQ(Record(), L"<none>");
  EXPECT_EQ(Stored(L"RestoreWallpaper"), -1);
  HandleCommand(CMD_MODE_FULLSCREEN);
  EXPECT_EQ(PortableDesktopRepaintCount(), c.repaints);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WallpaperLeftBehind,
    ::testing::Values(
        LeftBehind{"unchanged", true, L"/pictures/hills.jpg", L"/pictures/hills.jpg",
                   L"/pictures/hills.jpg", 1, 1},
        LeftBehind{"unchangedButForCase", true, L"/pictures/hills.jpg", L"/PICTURES/Hills.jpg",
                   L"/pictures/hills.jpg", 1, 1},
        LeftBehind{"changed", true, L"/pictures/hills.jpg", L"/pictures/sea.jpg",
                   L"/pictures/sea.jpg", 0, 1},
        LeftBehind{"noneSet", true, L"", L"", L"", 0, 1},
        LeftBehind{"unreadableSystem", true, L"/pictures/hills.jpg", nullptr,
                   L"/pictures/sea.jpg", 0, 1},
        LeftBehind{"recordOfAnotherType", true, nullptr, L"/pictures/sea.jpg",
                   L"/pictures/sea.jpg", 0, 1},
        LeftBehind{"noRecord", false, nullptr, L"/pictures/sea.jpg", L"/pictures/sea.jpg", 0,
                   0}),
    [](const ::testing::TestParamInfo<LeftBehind>& info) { return info.param.what; });

// The running instance owns the desktop: neither a second instance nor a dump run touches
// its record or the desktop.
TEST_F(Wallpaper, OnlyTheRunningInstanceRestoresWhatWasLeftBehind) {
  RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"RestoreWallpaper", REG_SZ, L"/p.jpg",
                  7 * sizeof(wchar_t));
  HANDLE first = CreateMutexW(nullptr, TRUE, L"VelmoraTitleLive.SingleInstance");
  EXPECT_FALSE(Start({"--wallpaper"}));
  CloseHandle(first);
  EXPECT_FALSE(Start({"--dump", scratch_ / "frame.bmp", "--size", "8x8"}));
  EXPECT_EQ(exitCode_, 0);
  EXPECT_EQ(Record(), L"/p.jpg");
  EXPECT_EQ(PortableDesktopRepaintCount(), 0);
  EXPECT_EQ(PortableWallpaperWriteCount(), 0);
}

TEST_F(Wallpaper, QuittingAWindowedRunLeavesTheWallpaperAlone) {
  PortableSetWallpaperPath(L"/pictures/hills.jpg");
  ASSERT_TRUE(Start({"--window"}));
  Key(VK_ESCAPE);
  EXPECT_EQ(RunToExit(), 0);
  EXPECT_EQ(PortableWallpaperWriteCount(), 0);
  EXPECT_EQ(PortableDesktopRepaintCount(), 0);
}

}  // namespace
