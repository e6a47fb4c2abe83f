#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/command_line.h"

namespace {

// Walks "program" followed by the given arguments into a fresh record.
AppState Walk(std::vector<std::wstring> arguments) {
  arguments.insert(arguments.begin(), L"velmora");
  std::vector<const wchar_t*> pointers;
  for (const std::wstring& a : arguments) pointers.push_back(a.c_str());
  AppState state;
  WalkArguments(state, (int)pointers.size(), pointers.data());
  return state;
}

float Speed(const wchar_t* value) { return Walk({L"--speed", value}).optSpeed; }
uint32_t Seed(const wchar_t* value) { return Walk({L"--seed", value}).seed; }

TEST(CommandLine, ValuesAreTakenWhateverTheyLookLike) {
  AppState s = Walk({L"--speed", L"--window"});
  EXPECT_TRUE(s.speedGiven);
  EXPECT_EQ(s.optSpeed, 0.0f);
  EXPECT_FALSE(s.optWindow);

  s = Walk({L"--window", L"--speed"});  // a trailing option takes the empty value
  EXPECT_TRUE(s.optWindow && s.speedGiven);
  EXPECT_EQ(s.optSpeed, 0.0f);
  s = Walk({L"--seed"});
  EXPECT_TRUE(s.seedGiven);
  EXPECT_EQ(s.seed, 0u);
  s = Walk({L"--dump"});
  EXPECT_TRUE(s.dumpPath.empty());

  s = Walk({L"--log", L"--dump", L"--dump", L"a b\\\"c"});
  EXPECT_EQ(s.logPath, L"--dump");
  EXPECT_EQ(s.dumpPath, L"a b\\\"c");

  // Only exact, case-sensitive whole names count.
  s = Walk(
      {L"-window", L"--Window", L"/window", L"--window=1", L"--wall", L"--speed=2", L"--T", L"5"});
  EXPECT_FALSE(s.optWindow || s.optWallpaper || s.speedGiven || s.fixedTimeGiven);

  // Repeats overwrite what they set and nothing else.
  s = Walk({L"--seed", L"5", L"--size", L"800x600", L"--seed", L"7", L"--size", L"1024"});
  EXPECT_EQ(s.seed, 7u);
  EXPECT_EQ(s.dumpWidth, 1024);
  EXPECT_EQ(s.dumpHeight, 600);
}

TEST(CommandLine, IntegersClampToTheSigned32BitRange) {
  EXPECT_EQ(Seed(L"12abc"), 12u);
  EXPECT_EQ(Seed(L"  +42"), 42u);
  EXPECT_EQ(Seed(L"99999999999"), 2147483647u);
  EXPECT_EQ(Seed(L"99999999999999999999999999"), 2147483647u);
  EXPECT_EQ(Seed(L"-1"), 4294967295u);
  EXPECT_EQ(Seed(L"-99999999999"), 2147483648u);
  EXPECT_EQ(Seed(L"0x10"), 0u);
  EXPECT_EQ(Seed(L"abc"), 0u);
  EXPECT_EQ(Seed(L"4294967295"), 2147483647u);
}

TEST(CommandLine, NumbersFollowStringToDoubleThenRoundToFloat) {
  EXPECT_EQ(Speed(L"0.75x"), 0.75f);
  EXPECT_EQ(Speed(L" -2.5e1"), -25.0f);
  EXPECT_EQ(Speed(L"0x1.8p1"), 3.0f);
  EXPECT_EQ(Speed(L"1.3"), 1.3f);  // rounded from the double, not read as a float
  EXPECT_EQ(Speed(L"junk"), 0.0f);
  EXPECT_EQ(Speed(L"-inf"), -INFINITY);
  EXPECT_TRUE(std::isnan(Speed(L"nan")));
  EXPECT_EQ(Speed(L"1e-60"), 0.0f);
  // Beyond the float range: infinity exactly where round-to-nearest puts it.
  EXPECT_EQ(Speed(L"1e300"), INFINITY);
  EXPECT_EQ(Speed(L"-1e39"), -INFINITY);
  EXPECT_EQ(Speed(L"0x1.ffffffp127"), INFINITY);
  EXPECT_EQ(Speed(L"0x1.fffffefffffp127"), FLT_MAX);

  AppState s = Walk({L"--t", L"-12.5"});
  EXPECT_TRUE(s.fixedTimeGiven);
  EXPECT_EQ(s.fixedTime, -12.5f);
}

TEST(CommandLine, WordsSelectByExactMatch) {
  struct Case {
    const wchar_t* option;
    const wchar_t* value;
    int32_t expected;
  };
  const Case cases[] = {
      {L"--scene", L"menu", 1}, {L"--scene", L"main", 1}, {L"--scene", L"1", 0},
      {L"--scene", L"Menu", 0}, {L"--lang", L"zh", 1},    {L"--lang", L"2", 2},
      {L"--lang", L"ja", 3},    {L"--lang", L"EN", 0},    {L"--lang", L"", 0},
      {L"--tone", L"light", 2}, {L"--tone", L"Light", 0}, {L"--tone", L"bright", 1},
      {L"--tone", L"2", 2},     {L"--tone", L"1 ", 0},
  };
  for (const Case& c : cases) {
    AppState s = Walk({c.option, c.value});
    std::wstring option = c.option;
    int32_t got = option == L"--scene" ? s.optScene : option == L"--lang" ? s.optLang : s.optTone;
    bool given = option == L"--scene"  ? s.sceneGiven
                 : option == L"--lang" ? s.langGiven
                                       : s.toneGiven;
    EXPECT_EQ(got, c.expected) << c.value;
    EXPECT_TRUE(given) << c.value;
  }
}

TEST(CommandLine, SizeScansAsFarAsItMatches) {
  auto size = [](const wchar_t* value) {
    AppState s = Walk({L"--size", value});
    return std::pair{s.dumpWidth, s.dumpHeight};
  };
  EXPECT_EQ(size(L"800x600"), std::pair(800, 600));
  EXPECT_EQ(size(L"800"), std::pair(800, 1080));
  EXPECT_EQ(size(L"800X600"), std::pair(800, 1080));
  EXPECT_EQ(size(L"x600"), std::pair(1920, 1080));
  EXPECT_EQ(size(L"800x"), std::pair(800, 1080));
  EXPECT_EQ(size(L" 640x -480"), std::pair(640, -480));
  EXPECT_EQ(size(L"640 x480"), std::pair(640, 1080));
  EXPECT_EQ(size(L"99999999999x-99999999999"), std::pair(INT32_MAX, INT32_MIN));
}

TEST(CommandLine, DebugListFillsFifteenFieldsAndTheFixedTail) {
  auto fields = [](const wchar_t* value) {
    AppState s = Walk({L"--dbg", value});
    EXPECT_TRUE(s.debugValuesGiven);
    std::vector<float> f(21);
    std::memcpy(f.data(), &s.debugValues, sizeof s.debugValues);
    for (int i = 15; i < 19; ++i) EXPECT_EQ(f[i], 1.0f);
    EXPECT_EQ(std::bit_cast<uint32_t>(f[19]), 0xBE10D5B2u);
    EXPECT_EQ(std::bit_cast<uint32_t>(f[20]), 0xBD56DBD8u);
    f.resize(15);
    return f;
  };
  std::vector<float> expected(15, 0.0f);
  EXPECT_EQ(fields(L""), expected);
  expected[0] = 0.5f, expected[2] = 2.0f;
  EXPECT_EQ(fields(L"0.5,,2"), expected);
  EXPECT_EQ(fields(L"0.5,,2,"), expected);
  EXPECT_EQ(fields(L"0.5,x,2.0junk"), expected);

  std::wstring twenty;
  for (int i = 1; i <= 20; ++i) twenty += std::to_wstring(i) + L",";
  std::vector<float> first15;
  for (int i = 1; i <= 15; ++i) first15.push_back((float)i);
  EXPECT_EQ(fields(twenty.c_str()), first15);
}

// Random lists: raw bytes, option names, their near misses, huge and malformed numbers, separators,
// long strings and arbitrary code points. The walk must neither crash nor leave a field
// outside what the options can produce.
TEST(CommandLine, RandomArgumentListsAreWalkedSafely) {
  const wchar_t* pieces[] = {L"--window", L"--wallpaper", L"--seed", L"--speed", L"--t",
                             L"--scene",  L"--lang",      L"--tone", L"--log",   L"--dump",
                             L"--size",   L"--dbg",       L"-",      L",",       L"x",
                             L"e",        L"0x",          L"p",      L"inf",     L"nan(",
                             L"9",        L"-",           L"+",      L".",       L" "};
  std::mt19937 random(12345);
  for (int round = 0; round < 5000; ++round) {
    std::vector<std::wstring> arguments(random() % 12);
    for (std::wstring& argument : arguments) {
      int parts = (int)(random() % 40);
      if (random() % 50 == 0) parts = 3000;
      for (int p = 0; p < parts; ++p) {
        if (random() % 3 == 0)
          argument += (wchar_t)(1 + random() % 0x10FFFF);
        else
          argument += pieces[random() % (sizeof pieces / sizeof pieces[0])];
      }
      if (random() % 4 == 0) argument = pieces[random() % 12];
      if (random() % 8 == 0) {  // raw bytes as the process entry would receive them
        std::string bytes;
        for (int k = (int)(random() % 64); k > 0; --k) bytes += (char)(1 + random() % 255);
        argument = PortableWide(bytes.c_str());
      }
    }
    AppState s = Walk(arguments);
    ASSERT_TRUE(s.optScene == 0 || s.optScene == 1);
    ASSERT_TRUE(s.optLang >= 0 && s.optLang <= 3);
    ASSERT_TRUE(s.optTone >= 0 && s.optTone <= 2);
    if (s.debugValuesGiven) {
      ASSERT_EQ(s.debugValues.brightness[3], 1.0f);
    }
  }
}

}  // namespace
