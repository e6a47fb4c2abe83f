// The per-user registry file: value types and their restrictions, sizes, string terminators,
// letter case, deletion, persistence, and what happens to damaged, unreadable and linked
// files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/win32.h"
#include "scratch_directory.h"

namespace {

const wchar_t kKey[] = L"Software\\VelmoraTitleLive";

LONG SetDword(const wchar_t* key, const wchar_t* name, DWORD value) {
  return RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_DWORD, &value, 4);
}
// A DWORD read's result, with the value in *value when one is wanted.
LONG GetDword(const wchar_t* key, const wchar_t* name, DWORD* value = nullptr) {
  DWORD ignored = 0, size = 4;
  return RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr,
                      value ? value : &ignored, &size);
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { config.UseAsConfigHome(); }
  std::string RegistryFile() const { return config / "velmora/registry"; }
  std::string ReadFile(const std::string& path) const {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
  ScratchDirectory config;
};

TEST_F(Registry, DwordRoundTripsWithTypeRestrictionAndMissingValues) {
  DWORD value = 0, size = sizeof(value), type = 0;
  EXPECT_EQ(GetDword(kKey, L"Scene"), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(SetDword(kKey, L"Scene", 0xFFFFFFFF), ERROR_SUCCESS);
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Scene", RRF_RT_REG_DWORD, &type, &value, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, 0xFFFFFFFFu);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, (DWORD)REG_DWORD);

  // Another value in the same key, and the same name in another key, are still missing.
  EXPECT_EQ(GetDword(kKey, L"Tone"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetDword(L"Software\\Other", L"Scene"), ERROR_FILE_NOT_FOUND);

  // A string is refused by a DWORD read, and a DWORD by a string read.
  const wchar_t text[] = L"1";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Tone", REG_SZ, text, sizeof(text)),
            ERROR_SUCCESS);
  EXPECT_EQ(GetDword(kKey, L"Tone"), ERROR_UNSUPPORTED_TYPE);
  wchar_t buffer[16];
  DWORD bufferSize = sizeof(buffer);
  EXPECT_EQ(
      RegGetValueW(HKEY_CURRENT_USER, kKey, L"Scene", RRF_RT_REG_SZ, nullptr, buffer, &bufferSize),
      ERROR_UNSUPPORTED_TYPE);
  bufferSize = sizeof(buffer);
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Scene", RRF_RT_ANY, &type, buffer, &bufferSize),
            ERROR_SUCCESS);
  EXPECT_EQ(bufferSize, 4u);
}

TEST_F(Registry, SizesShortBuffersAndStringTerminators) {
  const wchar_t text[] = L"\"C:\\Program Files\\Velmora\\velmora.exe\"";
  const DWORD textBytes = sizeof(text);
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Path", REG_SZ, text, textBytes),
            ERROR_SUCCESS);

  DWORD size = 0, type = 0;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Path", RRF_RT_REG_SZ, &type, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, textBytes);
  EXPECT_EQ(type, (DWORD)REG_SZ);

  wchar_t buffer[64];
  for (wchar_t& c : buffer) c = L'#';
  size = 8;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Path", RRF_RT_REG_SZ, nullptr, buffer, &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, textBytes) << "a short buffer is told the size it needs";
  EXPECT_EQ(buffer[2], L'#') << "nothing is written past what the caller offered";

  size = sizeof(buffer);
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Path", RRF_RT_REG_SZ, nullptr, buffer, &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buffer, text);
  EXPECT_EQ(size, textBytes);

  // Stored without its terminator: handed out with one, and the size counts it.
  const wchar_t bare[] = {L'a', L'b', L'c'};
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Bare", REG_SZ, bare, sizeof(bare)),
            ERROR_SUCCESS);
  for (wchar_t& c : buffer) c = L'#';
  size = sizeof(buffer);
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Bare", RRF_RT_REG_SZ, nullptr, buffer, &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buffer, L"abc");
  EXPECT_EQ(size, 4 * sizeof(wchar_t));
  size = 3 * sizeof(wchar_t);
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Bare", RRF_RT_REG_SZ, nullptr, buffer, &size),
            ERROR_MORE_DATA)
      << "the terminator needs room too";

  // An empty value is an empty string.
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"Empty", REG_SZ, nullptr, 0), ERROR_SUCCESS);
  size = sizeof(buffer);
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kKey, L"Empty", RRF_RT_REG_SZ, nullptr, buffer, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(buffer[0], L'\0');
  EXPECT_EQ(size, sizeof(wchar_t));
}

TEST_F(Registry, NamesIgnoreLetterCaseAndDeletionRemovesOneValue) {
  DWORD value = 0;
  ASSERT_EQ(SetDword(kKey, L"Speed", 1), ERROR_SUCCESS);
  ASSERT_EQ(GetDword(L"SOFTWARE\\velmoratitlelive", L"speed", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 1u);

  // Writing under another spelling replaces the value rather than adding a second one.
  ASSERT_EQ(SetDword(L"software\\VELMORATITLELIVE", L"SPEED", 2), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(kKey, L"Tone", 1), ERROR_SUCCESS);
  ASSERT_EQ(GetDword(kKey, L"Speed", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 2u);

  EXPECT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"sPeEd"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"Speed"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetDword(kKey, L"Speed"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetDword(kKey, L"Tone"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Nowhere", L"Tone"),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, ValuesLiveInOneFileWrittenWhole) {
  const wchar_t odd[] = L"tab\there\nnew line 100% \u00e9\u8bed";
  ASSERT_EQ(SetDword(L"Software\\Tab\tKey", odd, 3), ERROR_SUCCESS);
  ASSERT_TRUE(std::filesystem::exists(RegistryFile()));
  for (const auto& entry : std::filesystem::directory_iterator(config / "velmora")) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "registry" || name == "registry.lock") << "left behind: " << name;
  }

  // Names with separators and non-ASCII letters survive the file.
  DWORD read = 0;
  ASSERT_EQ(GetDword(L"Software\\Tab\tKey", odd, &read), ERROR_SUCCESS);
  EXPECT_EQ(read, 3u);

  // Another configuration directory is another user's registry.
  ScratchDirectory other;
  other.UseAsConfigHome();
  EXPECT_EQ(GetDword(L"Software\\Tab\tKey", odd), ERROR_FILE_NOT_FOUND);
  config.UseAsConfigHome();
}

TEST_F(Registry, ReadersKeepEveryLineTheyUnderstandAndWritersKeepTheRest) {
  std::filesystem::create_directories(config / "velmora");
  // Carriage returns, trailing spaces, a line nobody understands and a broken one.
  const std::string file =
      "velmora-registry 1\r\n"
      "Software\\VelmoraTitleLive\tTone\t4\t02000000 \r\n"
      "a line from a newer version\n"
      "Software\\VelmoraTitleLive\tScene\t4\t0g\n"
      "Software\\VelmoraTitleLive\tLang\t4\t03000000\n";
  std::ofstream(RegistryFile(), std::ios::binary) << file;
  DWORD value = 0;
  ASSERT_EQ(GetDword(kKey, L"Tone", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 2u);
  ASSERT_EQ(GetDword(kKey, L"Lang", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 3u);
  EXPECT_EQ(GetDword(kKey, L"Scene"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadFile(RegistryFile()), file) << "a reader changes nothing";

  ASSERT_EQ(SetDword(kKey, L"Mode", 1), ERROR_SUCCESS);
  const std::string written = ReadFile(RegistryFile());
  EXPECT_NE(written.find("a line from a newer version\n"), std::string::npos) << written;
  EXPECT_NE(written.find("\tScene\t4\t0g\n"), std::string::npos) << written;
  for (const wchar_t* name : {L"Tone", L"Lang", L"Mode"})
    EXPECT_EQ(GetDword(kKey, name), ERROR_SUCCESS) << PortableUtf8(name);
  EXPECT_FALSE(std::filesystem::exists(RegistryFile() + ".unreadable.1"));
}

TEST_F(Registry, FileWithoutTheHeaderIsMovedAsideByTheFirstWriteOnly) {
  std::filesystem::create_directories(config / "velmora");
  const std::string damaged = "this is not a registry\n\x01\x02";
  std::ofstream(RegistryFile(), std::ios::binary) << damaged;

  EXPECT_EQ(GetDword(kKey, L"Scene"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadFile(RegistryFile()), damaged) << "reading moves nothing";
  ASSERT_EQ(SetDword(kKey, L"Scene", 1), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile(RegistryFile() + ".unreadable.1"), damaged);
  EXPECT_EQ(GetDword(kKey, L"Scene"), ERROR_SUCCESS);

  // Another one goes aside beside the first, without overwriting it.
  std::ofstream(RegistryFile(), std::ios::binary) << "velmora-registry 2\n";
  ASSERT_EQ(SetDword(kKey, L"Scene", 1), ERROR_SUCCESS);
  EXPECT_EQ(ReadFile(RegistryFile() + ".unreadable.1"), damaged);
  EXPECT_EQ(ReadFile(RegistryFile() + ".unreadable.2"), "velmora-registry 2\n");
}

// Runs `step` as a user without root's power to read anything (when this process is root,
// as user 65534, to whom the configuration folder is handed for the purpose).
template <typename Step>
void AsOrdinaryUser(const std::string& folder, Step step) {
  if (geteuid() != 0) return step();
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    lchown(entry.path().c_str(), 65534, 65534);
  chown(folder.c_str(), 65534, 65534);
  ASSERT_EQ(setegid(65534), 0);
  ASSERT_EQ(seteuid(65534), 0);
  step();
  ASSERT_EQ(seteuid(0), 0);
  ASSERT_EQ(setegid(0), 0);
}

// A file that cannot be read whole gives no values and is never written over: a change
// could not be merged into what it holds.
TEST_F(Registry, WhatCannotBeReadIsNeverWrittenOver) {
  ASSERT_EQ(SetDword(kKey, L"Tone", 2), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(kKey, L"Lang", 3), ERROR_SUCCESS);
  const std::string kept = ReadFile(RegistryFile());

  chmod(RegistryFile().c_str(), 0);
  AsOrdinaryUser(config.path(), [&] {
    EXPECT_EQ(GetDword(kKey, L"Tone"), ERROR_FILE_NOT_FOUND);
    EXPECT_NE(SetDword(kKey, L"Scene", 1), ERROR_SUCCESS);
  });
  chmod(RegistryFile().c_str(), 0600);
  EXPECT_EQ(ReadFile(RegistryFile()), kept);

  // Larger than any registry this writes: not read, not replaced.
  std::string large = kept;
  large.resize((1 << 20) + 1, '\n');
  std::ofstream(RegistryFile(), std::ios::binary) << large;
  EXPECT_EQ(GetDword(kKey, L"Tone"), ERROR_FILE_NOT_FOUND);
  EXPECT_NE(SetDword(kKey, L"Scene", 1), ERROR_SUCCESS);
  EXPECT_EQ(std::filesystem::file_size(RegistryFile()), large.size());

  // A FIFO in the file's place holds neither a reader nor a writer (in a child, so that a
  // hang is seen as one).
  std::filesystem::remove(RegistryFile());
  ASSERT_EQ(mkfifo(RegistryFile().c_str(), 0600), 0);
  pid_t child = fork();
  if (child == 0) {
    alarm(10);
    bool refused = GetDword(kKey, L"Tone") == ERROR_FILE_NOT_FOUND &&
                   SetDword(kKey, L"Scene", 1) != ERROR_SUCCESS;
    _exit(refused ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_TRUE(std::filesystem::is_fifo(RegistryFile()));
}

TEST_F(Registry, LinkIsWrittenThroughAndKilledWritersLeaveNothing) {
  ScratchDirectory dotfiles;
  std::filesystem::create_directories(config / "velmora");
  std::ofstream(dotfiles / "registry") << "velmora-registry 1\n";
  chmod((dotfiles / "registry").c_str(), 0640);
  ASSERT_EQ(symlink((dotfiles / "registry").c_str(), RegistryFile().c_str()), 0);
  // What writers killed before their rename left.
  std::ofstream(dotfiles / "registry.tmp.12345") << "partial";
  std::ofstream(config / "velmora/registry.tmp.678") << "partial";

  ASSERT_EQ(SetDword(kKey, L"Scene", 1), ERROR_SUCCESS);
  EXPECT_TRUE(std::filesystem::is_symlink(RegistryFile()));
  EXPECT_NE(ReadFile(dotfiles / "registry").find("\tScene\t4\t01000000\n"), std::string::npos);
  struct stat info;
  ASSERT_EQ(stat((dotfiles / "registry").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_FALSE(std::filesystem::exists(dotfiles / "registry.tmp.12345"));

  std::filesystem::remove(RegistryFile());
  ASSERT_EQ(SetDword(kKey, L"Scene", 0), ERROR_SUCCESS);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(config / "velmora"))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"registry", "registry.lock"}));
}

}  // namespace
