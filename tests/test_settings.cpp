// Stored settings: accepted ranges and defaults, the speed steps and their rounding, and the
// autostart entry with its quoting and letter case.
#include <gtest/gtest.h>

#include <cwctype>
#include <limits>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "scratch_directory.h"
#include "shell/settings.h"

namespace {

class Settings : public ::testing::Test {
 protected:
  void SetUp() override {
    config.UseAsConfigHome();
    gApp = AppState();
  }

  void StoreDword(const wchar_t* name, DWORD value) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name, REG_DWORD, &value, 4),
              ERROR_SUCCESS);
  }
  bool StoredDword(const wchar_t* name, DWORD* value) {
    DWORD size = 4;
    return RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, value,
                        &size) == ERROR_SUCCESS;
  }
  void StoreRunValue(const std::wstring& text) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, REG_SZ, text.c_str(),
                              (DWORD)((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  std::wstring ProgramPath() {
    std::wstring quoted = AutostartCommand();
    return quoted.substr(1, quoted.size() - 2);
  }

  ScratchDirectory config;
};

TEST_F(Settings, StoredValuesAreAcceptedOnlyInRange) {
  const StoredSetting odd = {L"Odd", 5, 4};
  EXPECT_EQ(ReadStoredSetting(odd), 4u) << "missing";

  // The range edges of the real settings are the start-up tests' table.
  const wchar_t text[] = L"1";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"Odd", REG_SZ, text, sizeof(text)),
            ERROR_SUCCESS);
  EXPECT_EQ(ReadStoredSetting(odd), 4u) << "a string is not a number";

  WriteStoredSetting(odd, 5);
  EXPECT_EQ(ReadStoredSetting(odd), 5u);
  WriteStoredSetting(odd, 6);
  EXPECT_EQ(ReadStoredSetting(odd), 4u) << "above the range";
}

TEST_F(Settings, PercentRoundsToTheNearestWholeNumber) {
  EXPECT_EQ(SpeedToPercent(0.75f), 75u);
  EXPECT_EQ(SpeedToPercent(1.004f), 100u);
  EXPECT_EQ(SpeedToPercent(1.006f), 101u);
  EXPECT_EQ(SpeedToPercent(0.37f), 37u);
  EXPECT_EQ(SpeedToPercent(10.0f), 1000u);
  // Values no step produces still convert without undefined behaviour.
  EXPECT_EQ(SpeedToPercent(-0.004f), 0u);
  EXPECT_EQ(SpeedToPercent(-3.0f), 0u);
  EXPECT_EQ(SpeedToPercent(std::numeric_limits<float>::quiet_NaN()), 0u);
  EXPECT_EQ(SpeedToPercent(std::numeric_limits<float>::infinity()), 0xFFFFFFFFu);
}

TEST_F(Settings, NearestStepPrefersTheLowerOnTies) {
  const struct {
    float speed;
    int index;
  } cases[] = {{0.0f, 0}, {0.125f, 0}, {0.126f, 1}, {0.37f, 1}, {1.004f, 4}, {1.2f, 4},
               {2.5f, 6}, {4.0f, 7},   {5.0f, 8},   {10.0f, 8}, {-1.0f, 0}};
  for (const auto& c : cases) {
    gApp.speed = c.speed;
    EXPECT_EQ(NearestSpeedIndex(), c.index) << "speed " << c.speed;
  }
}

TEST_F(Settings, StepsMoveFromTheNearestStepAndStopAtTheEnds) {
  DWORD value = 0;
  gApp.speed = 0.0f;
  StepSpeed(-1);
  EXPECT_EQ(gApp.speed, 0.0f);
  ASSERT_TRUE(StoredDword(L"Speed", &value)) << "down at paused still writes";
  EXPECT_EQ(value, 0u);
  StepSpeed(+1);
  EXPECT_EQ(gApp.speed, 0.25f);

  gApp.speed = 0.37f;
  StepSpeed(+1);
  EXPECT_EQ(gApp.speed, 0.5f);
  gApp.speed = 10.0f;
  StepSpeed(+1);
  EXPECT_EQ(gApp.speed, 5.0f);
  ASSERT_TRUE(StoredDword(L"Speed", &value));
  EXPECT_EQ(value, 500u);
  gApp.speed = 1.2f;
  StepSpeed(-1);
  EXPECT_EQ(gApp.speed, 0.75f);
}

TEST_F(Settings, AutostartNeedsTheQuotedPathInAnyLetterCase) {
  std::wstring command = AutostartCommand();
  ASSERT_GE(command.size(), 3u);
  EXPECT_EQ(command.front(), L'"');
  EXPECT_EQ(command.back(), L'"');
  EXPECT_EQ(command.find(L'"', 1), command.size() - 1) << "a quoted path and no arguments";

  EXPECT_FALSE(IsAutostartEnabled());
  ToggleAutostart();
  EXPECT_TRUE(IsAutostartEnabled());
  wchar_t stored[1024];
  DWORD size = sizeof(stored);
  ASSERT_EQ(
      RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, RRF_RT_REG_SZ, nullptr, stored, &size),
      ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(stored), command);
  EXPECT_EQ(size, (command.size() + 1) * sizeof(wchar_t)) << "the terminator is stored";
  ToggleAutostart();
  EXPECT_FALSE(IsAutostartEnabled());
  size = sizeof(stored);
  EXPECT_EQ(
      RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, RRF_RT_REG_SZ, nullptr, stored, &size),
      ERROR_FILE_NOT_FOUND);

  // The path without its quotes, or another program, counts as off and is replaced.
  for (const std::wstring& other : {ProgramPath(), std::wstring(L"\"C:\\Other\\other.exe\"")}) {
    StoreRunValue(other);
    EXPECT_FALSE(IsAutostartEnabled());
    ToggleAutostart();
    EXPECT_TRUE(IsAutostartEnabled());
  }

  // A different letter case counts as on, so the toggle removes it.
  std::wstring shouted = command;
  for (wchar_t& c : shouted) c = (wchar_t)std::towupper(c);
  ASSERT_NE(shouted, command);
  StoreRunValue(shouted);
  EXPECT_TRUE(IsAutostartEnabled());
  ToggleAutostart();
  EXPECT_FALSE(IsAutostartEnabled());

  // A longer or shorter text that starts the same is not the command.
  StoreRunValue(command + L" --window");
  EXPECT_FALSE(IsAutostartEnabled());
  StoreRunValue(command.substr(0, command.size() - 1));
  EXPECT_FALSE(IsAutostartEnabled());
}

}  // namespace
