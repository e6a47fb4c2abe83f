#include "app/command_line.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

namespace {

// A decimal integer as strtol reads it (leading white space, optional sign, digits),
// saturated to the signed 32-bit range. *end is left at text when no digit was read.
int32_t ReadInteger(const wchar_t* text, const wchar_t** end) {
  wchar_t* stop = nullptr;
  long long value = std::wcstoll(text, &stop, 10);
  *end = stop;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return (int32_t)value;
}

// Rounds to the nearest float as the hardware would; a double beyond the float range is
// not representable and converting it by a cast is undefined, so it becomes infinity
// exactly where round-to-nearest would take it.
float RoundToFloat(double value) {
  const double overflow = 0x1.ffffffp127;  // half-way between FLT_MAX and the next power
  if (value >= overflow) return std::numeric_limits<float>::infinity();
  if (value <= -overflow) return -std::numeric_limits<float>::infinity();
  return (float)value;
}

// A number by the C library's string-to-double rules (hexadecimal floats, inf and nan
// included), then rounded to single precision; no number gives 0.
float ReadNumber(const wchar_t* text) { return RoundToFloat(std::wcstod(text, nullptr)); }

// The --dbg list: up to fifteen comma-separated numbers, then the fixed title-screen
// brightness and spot, so that frozen values look like an untouched title screen.
AnimValues ReadDebugValues(const wchar_t* text) {
  float numbers[15] = {};
  int count = 0;
  const wchar_t* position = text;
  while (*position != L'\0') {
    numbers[count++] = ReadNumber(position);
    const wchar_t* comma = std::wcschr(position, L',');
    if (!comma) break;
    position = comma + 1;
    if (count == 15) break;
  }
  float fields[21];
  for (int i = 0; i < 15; ++i) fields[i] = numbers[i];
  for (int i = 15; i < 19; ++i) fields[i] = 1.0f;
  fields[19] = kTitleSpotX;
  fields[20] = kTitleSpotY;
  AnimValues values;
  static_assert(sizeof values == sizeof fields);
  std::memcpy(&values, fields, sizeof values);
  return values;
}

// "%dx%d": each integer that is read replaces its field; scanning stops at the first
// mismatch.
void ReadSize(const wchar_t* text, int32_t* width, int32_t* height) {
  const wchar_t* end = nullptr;
  int32_t value = ReadInteger(text, &end);
  if (end == text) return;
  *width = value;
  if (*end != L'x') return;
  const wchar_t* second = end + 1;
  value = ReadInteger(second, &end);
  if (end == second) return;
  *height = value;
}

bool Equal(const wchar_t* a, const wchar_t* b) { return std::wcscmp(a, b) == 0; }

}  // namespace

void WalkArguments(AppState& state, int count, const wchar_t* const* arguments) {
  for (int i = 1; i < count; ++i) {
    const wchar_t* option = arguments[i];
    if (Equal(option, L"--window")) {
      state.optWindow = true;
      continue;
    }
    if (Equal(option, L"--wallpaper")) {
      state.optWallpaper = true;
      continue;
    }
    enum ValueOption { kSeed, kSpeed, kTime, kScene, kLang, kTone, kLog, kDump, kSize, kDbg };
    static const struct {
      const wchar_t* name;
      ValueOption option;
    } kValueOptions[] = {{L"--seed", kSeed},   {L"--speed", kSpeed}, {L"--t", kTime},
                         {L"--scene", kScene}, {L"--lang", kLang},   {L"--tone", kTone},
                         {L"--log", kLog},     {L"--dump", kDump},   {L"--size", kSize},
                         {L"--dbg", kDbg}};
    int which = -1;
    for (const auto& entry : kValueOptions)
      if (Equal(option, entry.name)) {
        which = entry.option;
        break;
      }
    if (which < 0) continue;

    // The next argument is the value whatever it looks like; a trailing option gets "".
    const wchar_t* value = L"";
    if (i + 1 < count) value = arguments[++i];
    const wchar_t* end = nullptr;
    switch (which) {
      case kSeed:
        state.seedGiven = true;
        state.seed = (uint32_t)ReadInteger(value, &end);
        break;
      case kSpeed:
        state.speedGiven = true;
        state.optSpeed = ReadNumber(value);
        break;
      case kTime:
        state.fixedTimeGiven = true;
        state.fixedTime = ReadNumber(value);
        break;
      case kScene:
        state.sceneGiven = true;
        state.optScene = (Equal(value, L"menu") || Equal(value, L"main")) ? 1 : 0;
        break;
      case kLang:
        state.langGiven = true;
        state.optLang = (Equal(value, L"zh") || Equal(value, L"1"))   ? 1
                        : (Equal(value, L"en") || Equal(value, L"2")) ? 2
                        : (Equal(value, L"ja") || Equal(value, L"3")) ? 3
                                                                      : 0;
        break;
      case kTone:
        state.toneGiven = true;
        state.optTone = (Equal(value, L"light") || Equal(value, L"2"))    ? 2
                        : (Equal(value, L"bright") || Equal(value, L"1")) ? 1
                                                                          : 0;
        break;
      case kLog:
        state.logPath = value;
        break;
      case kDump:
        state.dumpPath = value;
        break;
      case kSize:
        ReadSize(value, &state.dumpWidth, &state.dumpHeight);
        break;
      case kDbg:
        state.debugValuesGiven = true;
        state.debugValues = ReadDebugValues(value);
        break;
    }
  }
}

void ParseCommandLine() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!arguments) return;  // cannot split: run as if there were no arguments
  WalkArguments(gApp, count, arguments);
  LocalFree(arguments);
}
