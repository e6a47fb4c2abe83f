// Settings persistence under the current user's registry key, the setters, the speed
// steps and autostart.
#pragma once

#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "platform/win32.h"

inline constexpr const wchar_t* kSettingsKey = L"Software\\VelmoraTitleLive";
inline constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const wchar_t* kRunValue = L"VelmoraTitleLive";

inline constexpr int kSpeedStepCount = 9;
inline constexpr float SpeedSteps[kSpeedStepCount] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f,
                                                      1.5f, 2.0f,  3.0f, 5.0f};

// One REG_DWORD value under the settings key: its name, the largest number accepted
// (compared unsigned, so a negative number is out of range) and the default that a
// missing, mistyped or out-of-range value gives.
struct StoredSetting {
  const wchar_t* name;
  DWORD maxAccepted;
  DWORD defaultValue;
};
inline constexpr StoredSetting kStoredScene = {L"Scene", 1, kSceneTitle};
inline constexpr StoredSetting kStoredSpeed = {L"Speed", 1000, 100};  // percent
inline constexpr StoredSetting kStoredTone = {L"Tone", 2, kToneOriginal};
inline constexpr StoredSetting kStoredLang = {L"Lang", 3, kLangAuto};
inline constexpr StoredSetting kStoredMode = {L"Mode", 2, kModeFullscreen};
// Frames per second: 0 (every display refresh), 60 or 30; FrameRateFromStored drops the rest.
inline constexpr StoredSetting kStoredFrameRate = {L"FrameRate", 60, 0};

// The frame rates the menu offers, in its order.
inline constexpr int kFrameRateCount = 3;
inline constexpr int32_t FrameRates[kFrameRateCount] = {0, 60, 30};

// Present only while the program is the wallpaper: the wallpaper to put back (REG_SZ, empty
// when none was set), so that a start after the program died can restore the desktop.
inline constexpr const wchar_t* kRestoreWallpaperValue = L"RestoreWallpaper";
inline constexpr DWORD kWallpaperPathCapacity = 520;

// The stored value when it is in range, else the setting's default.
DWORD ReadStoredSetting(const StoredSetting& setting);
void WriteStoredSetting(const StoredSetting& setting, DWORD value);

// The speed is stored in whole percent.
float SpeedFromPercent(DWORD percent);
DWORD SpeedToPercent(float speed);

// One of FrameRates; any other stored number means every display refresh.
int32_t FrameRateFromStored(DWORD stored);

// The setters: each changes its field of gApp and stores the new value at once.
void SetScene(SceneId scene);
void SetTone(ToneId tone);
void SetSpeed(float speed);
void StepSpeed(int steps);
void SetLanguage(LangId lang);
void SetDisplayMode(DisplayMode mode);
void SetFrameRate(int32_t frameRate);

int NearestSpeedIndex();

void WriteRestoreRecord(const std::wstring& wallpaperPath);
// ERROR_FILE_NOT_FOUND without a record; another failure for one that cannot be read as a
// path of at most kWallpaperPathCapacity - 1 characters.
LSTATUS ReadRestoreRecord(std::wstring* wallpaperPath);
void DeleteRestoreRecord();

// Windows paths and names ignore letter case.
bool SameTextIgnoringCase(const wchar_t* a, const wchar_t* b);

std::wstring AutostartCommand();
bool IsAutostartEnabled();
void ToggleAutostart();
