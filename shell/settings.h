// Settings persistence under the current user's registry key, speed steps and autostart.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

inline constexpr const wchar_t* kSettingsKey = L"Software\\VelmoraTitleLive";
inline constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const wchar_t* kRunValue = L"VelmoraTitleLive";

inline constexpr int kSpeedStepCount = 9;
inline constexpr float SpeedSteps[kSpeedStepCount] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f,
                                                      1.5f, 2.0f,  3.0f, 5.0f};

// Reads one stored REG_DWORD; true with the value when it exists and is at most maxAccepted
// (compared unsigned), false otherwise.
bool ReadStoredSetting(const wchar_t* name, DWORD maxAccepted, DWORD* value);
void WriteStoredSetting(const wchar_t* name, DWORD value);

DWORD SpeedToPercent(float speed);
void SetScene(int32_t scene);
void SetTone(int32_t tone);
void SetSpeed(float speed);
int NearestSpeedIndex();
void StepSpeed(int steps);

std::wstring AutostartCommand();
bool IsAutostartEnabled();
void ToggleAutostart();
