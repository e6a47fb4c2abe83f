// The main window: its rectangle in each display mode and on which monitor, the switches
// between modes, the swap-chain resize, the keys and the clicks.
#include <cstdio>

#include "app/app_state.h"
#include "shell/main_window.h"
#include "shell/tray.h"
#include "tests/program_driver.h"

namespace {

using MainWindow = ProgramTest;

DWORD Style(HWND window) { return (DWORD)GetWindowLongPtrW(window, GWL_STYLE); }
DWORD ExStyle(HWND window) { return (DWORD)GetWindowLongPtrW(window, GWL_EXSTYLE); }

TEST_F(MainWindow, FirstWindowedRectangleHasA1280By720ClientAtTheCentringPoint) {
  ASSERT_TRUE(Start({"--window"}));
  // The outer corner, not the client area, sits where 1280 x 720 would be centred.
  EXPECT_EQ(WindowRect(gApp.mainWindow), (RECT{320, 180, 320 + 1296, 180 + 759}));
  EXPECT_EQ(ClientRect(gApp.mainWindow), (RECT{0, 0, 1280, 720}));
  EXPECT_EQ(gApp.renderWidth, 1280);
  EXPECT_EQ(gApp.renderHeight, 720);
  EXPECT_EQ(Style(gApp.mainWindow) & WS_OVERLAPPEDWINDOW, (DWORD)WS_OVERLAPPEDWINDOW);
  EXPECT_TRUE(IsWindowVisible(gApp.mainWindow));
  EXPECT_EQ(GetForegroundWindow(), gApp.mainWindow);
  EXPECT_FALSE(gApp.fullscreen);
}

TEST_F(MainWindow, CentringOnAMonitorNarrowerThanTheWindowTruncatesTowardZero) {
  PortableSetMonitors({{0, 0, 1025, 767}});
  ASSERT_TRUE(Start({"--window"}));
  RECT rect = WindowRect(gApp.mainWindow);
  EXPECT_EQ(rect.left, -127);  // (1025 - 1280) / 2
  EXPECT_EQ(rect.top, 23);
}

TEST_F(MainWindow, WindowedFullscreenWindowedRestoresTheUsersRectangleAndStyle) {
  PortableSetMonitors({kSmallMonitor});
  ASSERT_TRUE(Start({"--window"}));
  // The user moves and resizes the window, and its style changes.
  SetWindowPos(gApp.mainWindow, nullptr, 40, 30, 300, 200, SWP_NOZORDER);
  DWORD style = Style(gApp.mainWindow) & ~WS_MAXIMIZEBOX;
  SetWindowLongPtrW(gApp.mainWindow, GWL_STYLE, style);
  HWND windowed = gApp.mainWindow;

  Key('F');
  EXPECT_FALSE(IsWindow(windowed));
  EXPECT_TRUE(gApp.fullscreen);
  EXPECT_EQ(Style(gApp.mainWindow), (DWORD)(WS_POPUP | WS_VISIBLE));
  EXPECT_EQ(ExStyle(gApp.mainWindow), (DWORD)WS_EX_TOPMOST);
  EXPECT_EQ(WindowRect(gApp.mainWindow), kSmallMonitor);
  EXPECT_EQ(gApp.renderWidth, 320);
  EXPECT_EQ(Stored(L"Mode"), 0);
  ASSERT_NE(gApp.renderTargetView, nullptr);
  Pass();  // draws into the new swap chain

  Key(VK_F11);
  EXPECT_FALSE(gApp.fullscreen);
  EXPECT_EQ(WindowRect(gApp.mainWindow), (RECT{40, 30, 340, 230}));
  EXPECT_EQ(Style(gApp.mainWindow), style);
  EXPECT_EQ(gApp.renderWidth, 300 - 16);
  EXPECT_EQ(gApp.renderHeight, 200 - 39);
  EXPECT_EQ(Stored(L"Mode"), 1);

  // Alt+Enter and the double-click toggle too; the program never quit on the way.
  Post(WM_SYSKEYDOWN, VK_RETURN);
  EXPECT_TRUE(gApp.fullscreen);
  Post(WM_LBUTTONDBLCLK);
  EXPECT_FALSE(gApp.fullscreen);
  EXPECT_EQ(PortableProgramWindows().size(), 2u);  // the main window and the tray window
  Pass();
}

TEST_F(MainWindow, LeavingAMinimisedWindowBringsItBackWhereTheUserLeftIt) {
  ASSERT_TRUE(Start({"--window"}));
  SetWindowPos(gApp.mainWindow, nullptr, 40, 30, 300, 200, SWP_NOZORDER);
  ShowWindow(gApp.mainWindow, SW_MINIMIZE);
  HandleCommand(CMD_MODE_FULLSCREEN);  // from the tray menu, the only way while minimised
  HandleCommand(CMD_MODE_WINDOWED);
  EXPECT_EQ(WindowRect(gApp.mainWindow), (RECT{40, 30, 340, 230}));
  EXPECT_EQ(Style(gApp.mainWindow) & WS_MINIMIZE, 0u);
  EXPECT_EQ(gApp.renderWidth, 300 - 16);
  Pass();
}

TEST_F(MainWindow, EachSwitchUsesTheMonitorHoldingTheWindowAndThePrimaryAfterTheWallpaper) {
  const RECT primary = {0, 0, 320, 180};
  const RECT side = {-400, 40, -80, 220};
  PortableSetMonitors({primary, side});
  ASSERT_TRUE(Start({"--window"}));
  EXPECT_EQ(WindowRect(gApp.mainWindow).left, (320 - 1280) / 2);
  // Mostly on the side monitor.
  SetWindowPos(gApp.mainWindow, nullptr, -390, 50, 330, 200, SWP_NOZORDER);
  HandleCommand(CMD_MODE_FULLSCREEN);
  EXPECT_EQ(WindowRect(gApp.mainWindow), side);
  HandleCommand(CMD_MODE_WALLPAPER);
  EXPECT_EQ(WindowRect(gApp.mainWindow), side);
  HandleCommand(CMD_MODE_FULLSCREEN);
  EXPECT_EQ(WindowRect(gApp.mainWindow), primary);
  HandleCommand(CMD_MODE_WINDOWED);
  EXPECT_EQ(WindowRect(gApp.mainWindow), (RECT{-390, 50, -60, 250}));
}

TEST_F(MainWindow, FirstSwitchToWindowedCentresOnTheMonitorOfTheFullscreenWindow) {
  PortableSetMonitors({{0, 0, 1920, 1080}, {1920, 0, 4480, 1440}});
  ASSERT_TRUE(Start());
  EXPECT_TRUE(gApp.fullscreen);
  SetWindowPos(gApp.mainWindow, nullptr, 1920, 0, 2560, 1440, SWP_NOZORDER);
  Key('F');
  EXPECT_EQ(WindowRect(gApp.mainWindow), (RECT{2560, 360, 2560 + 1296, 360 + 759}));
}

TEST_F(MainWindow, WallpaperModeIgnoresEscapeTogglesAndClicks) {
  PortableSetMonitors({kSmallMonitor});
  ASSERT_TRUE(Start({"--wallpaper"}));
  HWND window = gApp.mainWindow;
  Key(VK_ESCAPE);
  Key('F');
  Key(VK_F11);
  Post(WM_SYSKEYDOWN, VK_RETURN);
  Post(WM_LBUTTONDBLCLK);
  Post(WM_RBUTTONUP);
  Pass();
  EXPECT_EQ(gApp.mainWindow, window);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(gApp.wallpaperActive);
  EXPECT_TRUE(PortableTrackedMenus().empty());
  // The scene and speed keys still work.
  Key(VK_TAB);
  EXPECT_EQ(gApp.scene, 1);
}

TEST_F(MainWindow, RightClickOpensTheMenuOnlyInWindowedMode) {
  PortableSetMonitors({kSmallMonitor});
  ASSERT_TRUE(Start());
  Post(WM_RBUTTONUP);
  EXPECT_TRUE(PortableTrackedMenus().empty());
  Key('F');
  PortableScriptMenuChoice(CMD_TONE_LIGHT);
  Post(WM_RBUTTONUP);
  ASSERT_EQ(PortableTrackedMenus().size(), 1u);
  EXPECT_EQ(PortableTrackedMenus()[0].owner, gApp.mainWindow);
  EXPECT_EQ(gApp.tone, 2);
  EXPECT_EQ(Stored(L"Tone"), 2);
}

TEST_F(MainWindow, KeysChangeSceneAndSpeedAndEscapeQuits) {
  PortableSetMonitors({kSmallMonitor});
  ASSERT_TRUE(Start());
  Key(VK_TAB);
  EXPECT_EQ(gApp.scene, 1);
  Key(VK_TAB);
  EXPECT_EQ(gApp.scene, 0);
  Key('M');
  EXPECT_EQ(Stored(L"Scene"), 1);
  Key('T');
  EXPECT_EQ(Stored(L"Scene"), 0);
  Key(VK_UP);
  EXPECT_EQ(gApp.speed, 1.5f);
  EXPECT_EQ(Stored(L"Speed"), 150);
  Key(VK_DOWN);
  Key(VK_DOWN);
  EXPECT_EQ(gApp.speed, 0.75f);
  EXPECT_EQ(SendMessageW(gApp.mainWindow, WM_KEYDOWN, 'Q', 0), 0);
  Key(VK_ESCAPE);
  EXPECT_EQ(RunToExit(), 0);
}

TEST_F(MainWindow, AltF4KeepsItsDefaultMeaning) {
  PortableSetMonitors({kSmallMonitor});
  ASSERT_TRUE(Start());
  Post(WM_SYSKEYDOWN, VK_F4);
  EXPECT_EQ(RunToExit(), 0);
}

TEST_F(MainWindow, TheCursorIsHiddenOnlyOverTheFullscreenWindow) {
  PortableSetMonitors({kSmallMonitor});
  ASSERT_TRUE(Start());
  PortableSetCursorPos({1, 1});
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(SendMessageW(gApp.mainWindow, WM_SETCURSOR, (WPARAM)gApp.mainWindow, 0), 1);
  EXPECT_EQ(PortableCurrentCursor(), nullptr);
  Key('F');
  SendMessageW(gApp.mainWindow, WM_SETCURSOR, (WPARAM)gApp.mainWindow, 0);
  EXPECT_EQ(PortableCurrentCursor(), LoadCursorW(nullptr, IDC_ARROW));
}

TEST_F(MainWindow, ResizeKeepsTheSwapChainForMinimisingAndZeroSizes) {
  PortableSetMonitors({kSmallMonitor});
  ASSERT_TRUE(Start({"--window"}));
  ShrinkWindow();
  EXPECT_EQ(gApp.renderWidth, 320);
  EXPECT_EQ(gApp.renderHeight, 180);
  ID3D11RenderTargetView* view = gApp.renderTargetView;
  ShowWindow(gApp.mainWindow, SW_MINIMIZE);
  SendMessageW(gApp.mainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(0, 100));
  SendMessageW(gApp.mainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(100, 0));
  EXPECT_EQ(gApp.renderTargetView, view);
  EXPECT_EQ(gApp.renderWidth, 320);
  ShowWindow(gApp.mainWindow, SW_RESTORE);
  EXPECT_NE(gApp.renderTargetView, nullptr);
  SendMessageW(gApp.mainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(200, 100));
  DXGI_SWAP_CHAIN_DESC1 desc = {};
  gApp.swapChain->GetDesc1(&desc);
  EXPECT_EQ(desc.Width, 200u);
  EXPECT_EQ(desc.Height, 100u);
  EXPECT_EQ(gApp.renderWidth, 200);
  EXPECT_EQ(gApp.renderHeight, 100);
}

TEST_F(MainWindow, AFailedResizeStopsDrawingButNotMessagesAndMenus) {
  PortableSetMonitors({kSmallMonitor});
  ASSERT_TRUE(Start({"--window"}));
  ShrinkWindow();
  PortableFailNext(PortableD3DFailure::ResizeBuffers);
  SetWindowPos(gApp.mainWindow, nullptr, 0, 0, 216, 139, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(gApp.renderTargetView, nullptr);
  EXPECT_EQ(gApp.renderWidth, 320);

  int presents = PortablePresentCount();
  Pass();
  Key(VK_TAB);
  ChooseFromTray(CMD_TONE_BRIGHTENED);
  Pass();
  EXPECT_EQ(PortablePresentCount(), presents);
  EXPECT_EQ(gApp.scene, 1);
  EXPECT_EQ(gApp.tone, 1);

  SetWindowPos(gApp.mainWindow, nullptr, 0, 0, 116, 89, SWP_NOMOVE | SWP_NOZORDER);
  ASSERT_NE(gApp.renderTargetView, nullptr);
  EXPECT_EQ(gApp.renderWidth, 100);
  EXPECT_EQ(gApp.renderHeight, 50);
  Pass();
  EXPECT_EQ(PortablePresentCount(), presents + 1);
}

TEST_F(MainWindow, PaintIsValidatedOnceAndAnExposureDrawsThePausedFrameAgain) {
  PortableSetMonitors({kSmallMonitor});
  ASSERT_TRUE(Start({"--window", "--speed", "0"}));
  ShrinkWindow();
  Pass();
  Pass();
  int presents = PortablePresentCount();
  PortableExposeWindow(gApp.mainWindow);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, (UINT)WM_PAINT);
  DispatchMessageW(&msg);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "WM_PAINT came again";
  Pass();
  EXPECT_EQ(PortablePresentCount(), presents + 1);
}

// The process ends at once, but neither its tray icon nor the animated desktop outlives it.
TEST_F(MainWindow, ASwapChainThatCannotBeMadeForTheNewWindowEndsTheProgramWithCode1) {
  PortableSetMonitors({kSmallMonitor});
  PortableSetWallpaperPath(L"/pictures/hills.jpg");
  ASSERT_TRUE(Start({"--window"}));
  ShrinkWindow();
  PortableSetExitObserver(ReportLeftovers);
  EXPECT_EXIT(
      {
        PortableFailNext(PortableD3DFailure::SwapChain, 2);  // both swap models
        SetDisplayMode(kModeFullscreen);
      },
      ::testing::ExitedWithCode(1), "icons=0 wallpaper=/pictures/hills.jpg repaints=0");
  EXPECT_EXIT(
      {
        PortableSetWallpaperPath(L"/pictures/hills.jpg");
        PortableFailNext(PortableD3DFailure::SwapChain, 2);
        SetDisplayMode(kModeWallpaper);
      },
      ::testing::ExitedWithCode(1), "icons=0 wallpaper=/pictures/hills.jpg repaints=1");
  PortableSetExitObserver(nullptr);
}

// Toggles act on the first press of a held key only; the speed steps on every repeat.
TEST_F(MainWindow, AHeldToggleKeySwitchesOnceAndAHeldArrowKeepsStepping) {
  PortableSetMonitors({kSmallMonitor});
  ASSERT_TRUE(Start());
  HWND first = gApp.mainWindow;
  PortableHoldKey('F', 5);
  Deliver();
  EXPECT_FALSE(IsWindow(first));
  EXPECT_FALSE(gApp.fullscreen);
  ShrinkWindow();
  PortableHoldKey(VK_F11, 4);
  Deliver();
  EXPECT_TRUE(gApp.fullscreen);
  PortableHoldKey(VK_RETURN, 3, true);
  Deliver();
  EXPECT_FALSE(gApp.fullscreen);
  EXPECT_EQ(Stored(L"Mode"), 1);
  EXPECT_EQ(PortableProgramWindows().size(), 2u);
  PortableHoldKey(VK_UP, 3);
  Deliver();
  EXPECT_EQ(gApp.speed, 5.0f);  // 1 -> 1.5, 2, 3, 5
  PortableHoldKey(VK_DOWN, 1);
  Deliver();
  EXPECT_EQ(gApp.speed, 2.0f);
  Pass();
}

// After a display change the fullscreen window covers its monitor's new rectangle and the
// swap chain has the new size.
TEST_F(MainWindow, ADisplayChangeFitsTheFullscreenWindowToItsMonitorAgain) {
  const RECT side = {-400, 40, -80, 220};
  PortableSetMonitors({kSmallMonitor, side});
  ASSERT_TRUE(Start());
  PortableSetMonitors({{0, 0, 400, 240}, side});
  EXPECT_EQ(WindowRect(gApp.mainWindow), (RECT{0, 0, 400, 240}));
  DXGI_SWAP_CHAIN_DESC1 desc = {};
  gApp.swapChain->GetDesc1(&desc);
  EXPECT_EQ(desc.Width, 400u);
  EXPECT_EQ(desc.Height, 240u);
  EXPECT_EQ(gApp.renderWidth, 400);
  Pass();
  // The side monitor goes away while the window is on it: the nearest monitor takes it.
  HandleCommand(CMD_MODE_WINDOWED);
  SetWindowPos(gApp.mainWindow, nullptr, -390, 50, 300, 150, SWP_NOZORDER);
  HandleCommand(CMD_MODE_FULLSCREEN);
  EXPECT_EQ(WindowRect(gApp.mainWindow), side);
  PortableSetMonitors({{0, 0, 400, 240}});
  EXPECT_EQ(WindowRect(gApp.mainWindow), (RECT{0, 0, 400, 240}));
  // A windowed mode's rectangle left on the monitor that is gone comes back on the nearest
  // one, with its size.
  HandleCommand(CMD_MODE_WINDOWED);
  EXPECT_EQ(WindowRect(gApp.mainWindow), (RECT{0, 50, 300, 200}));
  Pass();
}

}  // namespace
