// A removed or reset device: the renderer is built again for the current window while
// window, tray, settings, clocks and time stay, within a budget and without error boxes.
#include <cstring>

#include "app/app_state.h"
#include "shell/main_window.h"
#include "shell/tray.h"
#include "tests/program_driver.h"

namespace {

class DeviceRecovery : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    PortableSetMonitors({kSmallMonitor});
    PortableFreezeClock();
    ASSERT_TRUE(Start({"--window", "--seed", "5"}));
    ShrinkWindow();
    Pass();
  }
  // A pass a little more than a second after the previous one.
  void LaterPass() {
    PortableAdvanceClock(1.1);
    Pass();
  }
};

TEST_F(DeviceRecovery, ARemovedOrResetDeviceIsRebuiltForTheSameWindow) {
  for (HRESULT reason : {DXGI_ERROR_DEVICE_REMOVED, DXGI_ERROR_DEVICE_RESET}) {
    HWND window = gApp.mainWindow;
    PhaseClock rotation = gApp.rotationClock;
    ID3D11Device* lost = gApp.device;
    PortableRemoveDevice(lost, reason);
    LaterPass();  // the present fails: everything goes
    EXPECT_EQ(gApp.device, nullptr);
    EXPECT_EQ(gApp.swapChain, nullptr);
    EXPECT_EQ(gApp.pixelShader, nullptr);
    double time = loop_.animationTime;
    int presents = PortablePresentCount();
    LaterPass();  // built again, and drawing
    ASSERT_NE(gApp.device, nullptr);
    EXPECT_EQ(gApp.device->GetDeviceRemovedReason(), S_OK);
    EXPECT_NE(gApp.wallView, nullptr);
    EXPECT_EQ(PortablePresentCount(), presents + 1);
    EXPECT_EQ(gApp.mainWindow, window);
    EXPECT_EQ(std::memcmp(&gApp.rotationClock, &rotation, sizeof rotation), 0);
    EXPECT_GT(loop_.animationTime, time);
    EXPECT_EQ(PortableTrayIcons().size(), 1u);
  }
  EXPECT_TRUE(PortableMessageBoxes().empty());
}

TEST_F(DeviceRecovery, ALossFoundByAResizeOrAModeChangeIsRebuiltToo) {
  PortableRemoveDevice(gApp.device);
  SetWindowPos(gApp.mainWindow, nullptr, 0, 0, 216, 139, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(gApp.device, nullptr);
  LaterPass();
  ASSERT_NE(gApp.renderTargetView, nullptr);
  EXPECT_EQ(gApp.renderWidth, 200);

  // A mode change on a device lost since the last frame does not end the program.
  PortableRemoveDevice(gApp.device);
  Key('F');
  EXPECT_TRUE(gApp.fullscreen);
  int presents = PortablePresentCount();
  LaterPass();
  EXPECT_EQ(PortablePresentCount(), presents + 1);
  EXPECT_EQ(gApp.renderWidth, 320);
  EXPECT_TRUE(PortableMessageBoxes().empty());
}

TEST_F(DeviceRecovery, FailedRebuildsStopAfterThreeAndResumeAfterAQuietMinute) {
  PortableRemoveDevice(gApp.device);
  PortableFailNext(PortableD3DFailure::Device, 4);  // the next four WARP devices fail
  LaterPass();
  for (int i = 0; i < 8; ++i) LaterPass();
  EXPECT_EQ(gApp.device, nullptr) << "more than three rebuilds in a row";
  // Meanwhile keys and the tray menu work.
  Key(VK_TAB);
  ChooseFromTray(CMD_TONE_BRIGHTENED);
  EXPECT_EQ(gApp.scene, kSceneMainMenu);
  EXPECT_EQ(Stored(L"Tone"), 1);

  PortableAdvanceClock(60.0);
  Pass();  // the fourth attempt fails as well, the fifth a second later succeeds
  EXPECT_EQ(gApp.device, nullptr);
  int presents = PortablePresentCount();
  LaterPass();
  ASSERT_NE(gApp.device, nullptr);
  EXPECT_EQ(PortablePresentCount(), presents + 1);
  EXPECT_TRUE(PortableMessageBoxes().empty());
  Key(VK_ESCAPE);
  EXPECT_EQ(RunToExit(), 0);
}

}  // namespace
