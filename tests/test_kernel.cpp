#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "tests/scratch_directory.h"

namespace {

std::vector<std::wstring> Split(const wchar_t* line) {
  int count = -1;
  LPWSTR* arguments = CommandLineToArgvW(line, &count);
  EXPECT_NE(arguments, nullptr);
  std::vector<std::wstring> result(arguments, arguments + count);
  EXPECT_EQ(arguments[count], nullptr);
  LocalFree(arguments);
  return result;
}

// Sets argv as the process entry would and returns what the split line gives back.
std::vector<std::wstring> RoundTrip(std::vector<std::string> argv) {
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  PortableSetArguments((int)pointers.size(), pointers.data());
  return Split(GetCommandLineW());
}

std::wstring ModulePath() {
  wchar_t path[4096];
  DWORD length = GetModuleFileNameW(nullptr, path, 4096);
  return std::wstring(path, length);
}

TEST(PortableCommandLine, SplitsByTheShellRules) {
  using V = std::vector<std::wstring>;
  EXPECT_EQ(Split(L"\"C:\\Program Files\\a.exe\" x"), (V{L"C:\\Program Files\\a.exe", L"x"}));
  EXPECT_EQ(Split(L"C:\\a\\\"b.exe  x\ty  "), (V{L"C:\\a\\\"b.exe", L"x", L"y"}));
  EXPECT_EQ(Split(L"p \"a b c\" d e"), (V{L"p", L"a b c", L"d", L"e"}));
  EXPECT_EQ(Split(L"p \"ab\\\"c\" \"\\\\\" d"), (V{L"p", L"ab\"c", L"\\", L"d"}));
  EXPECT_EQ(Split(L"p a\\\\\\b d\"e f\"g h"), (V{L"p", L"a\\\\\\b", L"de fg", L"h"}));
  EXPECT_EQ(Split(L"p a\\\\\\\"b c d"), (V{L"p", L"a\\\"b", L"c", L"d"}));
  EXPECT_EQ(Split(L"p a\\\\\\\\\"b c\" d e"), (V{L"p", L"a\\\\b c", L"d", L"e"}));
  EXPECT_EQ(Split(L"p a\"b\"\" c d"), (V{L"p", L"ab\" c d"}));
  EXPECT_EQ(Split(L"p \"\" \"unterminated"), (V{L"p", L"", L"unterminated"}));
  // An empty line stands for the program itself.
  EXPECT_EQ(Split(L""), (V{ModulePath()}));
}

TEST(PortableCommandLine, EveryArgumentListSurvivesTheRoundTrip) {
  EXPECT_EQ(RoundTrip({"/opt/my app/velmora", "", "a b", "\\\"", "tail\\\\", "\t"}),
            (std::vector<std::wstring>{L"/opt/my app/velmora", L"", L"a b", L"\\\"", L"tail\\\\",
                                       L"\t"}));

  const char alphabet[] = {' ', '\t', '"', '\\', 'a', '-', '\n', '\xC3', '\xA9', '\xFF', '\x80'};
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::string> argv(1 + random() % 8);
    for (size_t i = 0; i < argv.size(); ++i) {
      int length = (int)(random() % (random() % 20 == 0 ? 2000 : 12));
      for (int k = 0; k < length; ++k) {
        char c = random() % 2 ? alphabet[random() % sizeof alphabet] : (char)(1 + random() % 255);
        if (i == 0 && c == '"') c = 'q';  // argument 0 is a path and cannot hold a quote
        argv[i] += c;
      }
    }
    std::vector<std::wstring> expected;
    for (const std::string& a : argv) expected.push_back(PortableWide(a.c_str()));
    ASSERT_EQ(RoundTrip(argv), expected) << "round " << round;
  }
}

TEST(PortableCommandLine, QuoteInProgramPathCannotInjectOptions) {
  std::vector<std::wstring> got = RoundTrip({"/tmp/x\" --dump /tmp/out.bmp", "--window"});
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[1], L"--window");
}

TEST(PortableKernel, Utf8ConversionKeepsEveryByte) {
  EXPECT_EQ(PortableWide("a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"), L"a\u00E9\u65E5\U0001F600");
  // Overlong forms, encoded surrogates, stray continuations and cut sequences are not
  // decoded; each of their bytes is carried as its own escape.
  EXPECT_EQ(PortableWide("\xC0\xAF"), std::wstring({(wchar_t)0xDCC0, (wchar_t)0xDCAF}));
  EXPECT_EQ(PortableWide("\xED\xA0\x80"),
            std::wstring({(wchar_t)0xDCED, (wchar_t)0xDCA0, (wchar_t)0xDC80}));
  EXPECT_EQ(PortableWide("\xE6\x97"), std::wstring({(wchar_t)0xDCE6, (wchar_t)0xDC97}));
  EXPECT_EQ(PortableUtf8(L"\u00E9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
  const wchar_t unpaired[] = {(wchar_t)0xD800, (wchar_t)0x110000, 0};
  EXPECT_EQ(PortableUtf8(unpaired), "\xEF\xBF\xBD\xEF\xBF\xBD");

  std::mt19937 random(3);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    for (int k = (int)(random() % 16); k > 0; --k) bytes += (char)(1 + random() % 255);
    ASSERT_EQ(PortableUtf8(PortableWide(bytes.c_str()).c_str()), bytes);
  }
}

TEST(PortableKernel, ModuleFileNameTruncatesLikeWindows) {
  char expected[4096];
  ssize_t length = readlink("/proc/self/exe", expected, sizeof expected - 1);
  ASSERT_GT(length, 5);
  expected[length] = '\0';
  EXPECT_EQ(ModulePath(), PortableWide(expected));

  wchar_t small[5];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::wstring(small), PortableWide(expected).substr(0, 4));
}

TEST(PortableKernel, InterfaceLanguageFollowsTheLocaleVariables) {
  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::string saved[3];
  bool had[3];
  for (int i = 0; i < 3; ++i) {
    const char* value = std::getenv(names[i]);
    had[i] = value != nullptr;
    if (value) saved[i] = value;
  }
  auto language = [&](const char* all, const char* messages, const char* lang) {
    const char* values[] = {all, messages, lang};
    for (int i = 0; i < 3; ++i) values[i] ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
    return GetUserDefaultUILanguage();
  };
  EXPECT_EQ(language("zh_CN.UTF-8", nullptr, nullptr), 0x0804);
  EXPECT_EQ(language("zh_TW", "ja_JP", nullptr), 0x0804);
  EXPECT_EQ(language("", "ja_JP.UTF-8", "zh_CN"), 0x0411);
  EXPECT_EQ(language(nullptr, nullptr, "ja"), 0x0411);
  EXPECT_EQ(language("en_US.UTF-8", nullptr, "zh_CN"), 0x0409);
  EXPECT_EQ(language(nullptr, nullptr, "C"), 0x0409);
  EXPECT_EQ(language(nullptr, nullptr, nullptr), 0x0409);
  for (int i = 0; i < 3; ++i) had[i] ? setenv(names[i], saved[i].c_str(), 1) : unsetenv(names[i]);
}

TEST(PortableKernel, FilesByWidePath) {
  ScratchDirectory scratch;
  std::wstring dir = PortableWide(scratch.path().c_str());
  std::wstring a = dir + L"/\u65E5\u672C.txt", b = dir + L"/b.txt";

  FILE* file = _wfopen(a.c_str(), L"wb");
  ASSERT_NE(file, nullptr);
  std::fputs("one", file);
  std::fclose(file);
  file = _wfopen(b.c_str(), L"wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);

  // The replacement takes the replaced file's name and its access.
  chmod(PortableUtf8(b.c_str()).c_str(), 0640);
  EXPECT_TRUE(ReplaceFileW(b.c_str(), a.c_str(), nullptr, 0, nullptr, nullptr));
  file = _wfopen(b.c_str(), L"rb");
  ASSERT_NE(file, nullptr);
  char text[8] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, file), 3u);
  std::fclose(file);
  EXPECT_STREQ(text, "one");
  struct stat info;
  ASSERT_EQ(stat(PortableUtf8(b.c_str()).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_FALSE(ReplaceFileW(a.c_str(), b.c_str(), nullptr, 0, nullptr, nullptr))
      << "there is nothing to replace";
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);

  // A move takes an existing name only when asked to.
  file = _wfopen(a.c_str(), L"wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_FALSE(MoveFileExW(b.c_str(), a.c_str(), 0));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(
      MoveFileExW(b.c_str(), a.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  file = _wfopen(a.c_str(), L"rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(std::fread(text, 1, sizeof text, file), 3u);
  std::fclose(file);

  EXPECT_FALSE(DeleteFileW(b.c_str()));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(DeleteFileW(a.c_str()));
}

}  // namespace
