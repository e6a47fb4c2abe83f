// The user's settings under HKEY_CURRENT_USER\Software\VelmoraTitleLive and their setters,
// the playback-speed steps, and the autostart entry under the Run key.
#include "shell/settings.h"

#include <cmath>
#include <cwctype>

#include "i18n/texts.h"
#include "shell/main_window.h"
#include "shell/tray.h"

DWORD ReadStoredSetting(const StoredSetting& setting) {
  DWORD stored = 0, size = sizeof(stored);
  if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, setting.name, RRF_RT_REG_DWORD, nullptr,
                   &stored, &size) != ERROR_SUCCESS)
    return setting.defaultValue;
  return stored <= setting.maxAccepted ? stored : setting.defaultValue;
}

void WriteStoredSetting(const StoredSetting& setting, DWORD value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, setting.name, REG_DWORD, &value,
                  sizeof(value));
}

void WriteRestoreRecord(const std::wstring& wallpaperPath) {
  RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kRestoreWallpaperValue, REG_SZ,
                  wallpaperPath.c_str(), (DWORD)((wallpaperPath.size() + 1) * sizeof(wchar_t)));
}

LSTATUS ReadRestoreRecord(std::wstring* wallpaperPath) {
  wchar_t path[kWallpaperPathCapacity] = {};
  DWORD size = sizeof(path);
  LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kRestoreWallpaperValue,
                                RRF_RT_REG_SZ, nullptr, path, &size);
  if (status == ERROR_SUCCESS) *wallpaperPath = path;
  return status;
}

void DeleteRestoreRecord() {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kRestoreWallpaperValue);
}

bool SameTextIgnoringCase(const wchar_t* a, const wchar_t* b) {
  for (; *a && *b; ++a, ++b)
    if (std::towupper(*a) != std::towupper(*b)) return false;
  return !*a && !*b;
}

float SpeedFromPercent(DWORD percent) { return (float)percent / 100.0f; }

DWORD SpeedToPercent(float speed) {
  float percent = speed * 100.0f + 0.5f;
  // Only the steps reach here from the menu and the keys; anything outside the stored
  // range still has to convert without undefined behaviour.
  if (!(percent >= 0.0f)) return 0;
  if (percent >= 4294967296.0f) return 0xFFFFFFFFu;
  return (DWORD)percent;
}

int32_t FrameRateFromStored(DWORD stored) {
  for (int32_t rate : FrameRates)
    if (stored == (DWORD)rate) return rate;
  return 0;
}

void SetScene(SceneId scene) {
  gApp.scene = scene;
  WriteStoredSetting(kStoredScene, (DWORD)scene);
}

void SetTone(ToneId tone) {
  gApp.tone = tone;
  WriteStoredSetting(kStoredTone, (DWORD)tone);
}

void SetSpeed(float speed) {
  gApp.speed = speed;
  WriteStoredSetting(kStoredSpeed, SpeedToPercent(speed));
}

// The window title and the tray tooltip follow the new language at once.
void SetLanguage(LangId lang) {
  gApp.lang = lang;
  WriteStoredSetting(kStoredLang, (DWORD)lang);
  if (gApp.mainWindow) SetWindowTextW(gApp.mainWindow, GetText(AppTitle));
  UpdateTrayTip();
}

// Asking for the mode in force changes nothing and writes nothing.
void SetDisplayMode(DisplayMode mode) {
  if (mode == CurrentDisplayMode()) return;
  CreateMainWindow(mode);
  WriteStoredSetting(kStoredMode, (DWORD)CurrentDisplayMode());
}

void SetFrameRate(int32_t frameRate) {
  gApp.frameRate = frameRate;
  WriteStoredSetting(kStoredFrameRate, (DWORD)frameRate);
}

// Ties go to the lower step.
int NearestSpeedIndex() {
  int nearest = 0;
  for (int i = 1; i < kSpeedStepCount; ++i)
    if (std::fabs(SpeedSteps[i] - gApp.speed) < std::fabs(SpeedSteps[nearest] - gApp.speed))
      nearest = i;
  return nearest;
}

// Steps from the nearest step, not from the exact speed: 0.37 goes up to 0.5.
void StepSpeed(int steps) {
  int i = NearestSpeedIndex() + steps;
  if (i < 0) i = 0;
  if (i >= kSpeedStepCount) i = kSpeedStepCount - 1;
  SetSpeed(SpeedSteps[i]);
}

std::wstring AutostartCommand() {
  wchar_t path[520];
  DWORD length = GetModuleFileNameW(nullptr, path, 520);
  return L"\"" + std::wstring(path, length) + L"\"";
}

bool IsAutostartEnabled() {
  wchar_t stored[1024];
  DWORD size = sizeof(stored);
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, RRF_RT_REG_SZ, nullptr, stored, &size) !=
      ERROR_SUCCESS)
    return false;
  // "C:\Apps\Velmora.exe" names the same program as "c:\apps\velmora.exe".
  return SameTextIgnoringCase(stored, AutostartCommand().c_str());
}

void ToggleAutostart() {
  if (IsAutostartEnabled()) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValue);
    return;
  }
  std::wstring command = AutostartCommand();
  RegSetKeyValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, REG_SZ, command.c_str(),
                  (DWORD)((command.size() + 1) * sizeof(wchar_t)));
}
