// The dump run, mostly through the real program: the BMP file it writes, what the picture
// depends on, the exit codes of refused sizes, bad paths, failed writes and termination
// requests, and the memory it holds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "app/startup.h"
#include "platform/portable/control/d3d11_control.h"
#include "platform/portable/control/files_control.h"
#include "platform/win32.h"
#include "render/frame_dump.h"
#include "render/renderer.h"
#include "program_process.h"
#include "scratch_directory.h"
#include "shell/settings.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

uint32_t U32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | (uint8_t)bytes[at + i];
  return value;
}

uint16_t U16(const std::string& bytes, size_t at) {
  return (uint16_t)((uint8_t)bytes[at] | (uint8_t)bytes[at + 1] << 8);
}

class Dump : public ::testing::Test {
 protected:
  void SetUp() override { config.UseAsConfigHome(); }

  // Runs the program with these arguments (and an optional shell prefix); its exit code.
  int Run(const std::string& arguments, const std::string& prefix = "") {
    std::string command = prefix + "exec '" VELMORA_BINARY "' " + arguments + " 2>/dev/null";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string DumpOf(const std::string& arguments, const std::string& name = "frame.bmp") {
    std::string path = files / name;
    EXPECT_EQ(Run("--dump " + path + " " + arguments), 0) << arguments;
    return ReadFile(path);
  }
  void StoreDword(const wchar_t* name, DWORD value) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name, REG_DWORD, &value, 4),
              ERROR_SUCCESS);
  }
  std::vector<std::string> FilesIn(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
      names.push_back(entry.path().filename().string());
    return names;
  }

  // The exit code, or -1 when the program was killed or, still running after half a
  // minute, is killed here; `usage` receives what it used.
  static int Finish(pid_t pid, rusage* usage = nullptr) {
    rusage used = {};
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 3000 && (ended = wait4(pid, &status, WNOHANG, &used)) == 0; ++i)
      usleep(10000);
    if (ended == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      return -1;
    }
    if (usage) *usage = used;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  ScratchDirectory config, files;
};

TEST_F(Dump, DefaultFrameIsAFullHdTopDownBmp) {
  const std::string bmp = DumpOf("--seed 1");
  ASSERT_EQ(bmp.size(), 6220854u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(U32(bmp, 2), 6220854u);
  EXPECT_EQ(U32(bmp, 6), 0u);
  EXPECT_EQ(U32(bmp, 10), 54u);
  EXPECT_EQ(U32(bmp, 14), 40u);
  EXPECT_EQ((int32_t)U32(bmp, 18), 1920);
  EXPECT_EQ((int32_t)U32(bmp, 22), -1080);
  EXPECT_EQ(U16(bmp, 26), 1);
  EXPECT_EQ(U16(bmp, 28), 24);
  EXPECT_EQ(U32(bmp, 30), 0u);
  EXPECT_EQ(U32(bmp, 34), 6220800u);
  for (size_t at = 38; at < 54; at += 4) EXPECT_EQ(U32(bmp, at), 0u) << "offset " << at;

  // A picture, not a flat fill.
  int lowest = 255, highest = 0;
  for (size_t i = 54; i < bmp.size(); ++i) {
    lowest = std::min(lowest, (int)(uint8_t)bmp[i]);
    highest = std::max(highest, (int)(uint8_t)bmp[i]);
  }
  EXPECT_GT(highest - lowest, 64);
}

TEST_F(Dump, RowsArePaddedToFourBytesWithZeros) {
  const uint32_t strides[][2] = {{1, 4}, {2, 8}, {3, 12}, {5, 16}};
  for (const auto& [width, stride] : strides) {
    std::string bmp = DumpOf("--seed 3 --size " + std::to_string(width) + "x3");
    ASSERT_EQ(bmp.size(), 54u + 3 * stride) << "width " << width;
    EXPECT_EQ(U32(bmp, 34), 3 * stride);
    for (uint32_t y = 0; y < 3; ++y)
      for (uint32_t x = 3 * width; x < stride; ++x)
        EXPECT_EQ(bmp[54 + y * stride + x], 0) << "width " << width << " row " << y;
  }
}

TEST_F(Dump, PictureDependsOnSeedTimeAndFrozenValuesOnly) {
  const std::string seven = DumpOf("--seed 7 --t 3.5 --size 64x36");
  EXPECT_TRUE(DumpOf("--seed 7 --t 3.5 --size 64x36", "again.bmp") == seven);
  EXPECT_TRUE(DumpOf("--seed 8 --t 3.5 --size 64x36") != seven);
  EXPECT_TRUE(DumpOf("--seed 7 --t 9 --size 64x36") != seven);
  // Without a time the frame shows time 0; the stored speed plays no part.
  StoreDword(L"Speed", 500);
  EXPECT_TRUE(DumpOf("--seed 7 --size 64x36") == DumpOf("--seed 7 --t 0 --size 64x36", "zero.bmp"));

  // Frozen values replace everything the clocks would give, so the seed no longer matters.
  const std::string frozen = DumpOf("--seed 1 --size 64x36 --dbg 0.5,1,2,0.9,0.2,0.2");
  EXPECT_TRUE(DumpOf("--seed 2 --t 40 --size 64x36 --dbg 0.5,1,2,0.9,0.2,0.2", "b.bmp") == frozen);
  EXPECT_TRUE(DumpOf("--seed 1 --size 64x36 --dbg 0.9,1,2,0.9,0.2,0.2", "c.bmp") != frozen);
  EXPECT_TRUE(DumpOf("--seed 1 --size 64x36") != frozen);
}

// Frozen values that leave only the band: every layer and the fill saturate to black, so
// that the spot keeps black black, and the band adds red, half of it in green and, a
// thousandfold, a saturated blue. Each row's colour is then worked out from the band's
// formulas alone, in the file's channel order blue, green, red.
TEST_F(Dump, ColoursOfTheBandAreExactInBlueGreenRedOrder) {
  const std::string values = " --dbg 0,0,0,-1,-1,-1,-1,-1,-1,-1,-1,-1,1,0.5,1000 --size 16x16";
  auto byte = [](float v) { return (int)std::floor(std::min(std::max(v, 0.0f), 1.0f) * 255.0f + 0.5f); };
  const struct {
    const char* scene;
    float bandStart, bandHeight;  // uGeo.w and uSpot.w of the scene
    int top[3], bottom[3];        // blue, green, red of the first and the last row, by hand
  } scenes[] = {{"title", -0.5f, 1.0f, {255, 28, 57}, {255, 93, 186}},
                {"menu", -1.5f, 0.4f, {0, 0, 0}, {255, 120, 241}}};
  for (const auto& scene : scenes) {
    const std::string bmp = DumpOf(std::string("--scene ") + scene.scene + values);
    ASSERT_EQ(bmp.size(), 54u + 16 * 48) << scene.scene;
    int bandless = 0;
    for (int y = 0; y < 16; ++y) {
      // A square target spans 5.397753 units from the centre to each edge.
      float py = (1.0f - 2.0f * (((float)y + 0.5f) / 16.0f)) * 5.397753f;
      float g = (py - scene.bandStart) / scene.bandHeight + 10.0f;
      float f = std::min(std::max(1.0f - g * 0.05f, 0.0f), 1.0f);
      bool band = g <= 20.0f;
      bandless += band ? 0 : 1;
      const int expected[3] = {band ? byte(1000.0f * f) : 0, band ? byte(0.5f * f) : 0,
                               band ? byte(f) : 0};
      for (int x = 0; x < 16; ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ((uint8_t)bmp[54 + y * 48 + 3 * x + c], expected[c])
              << scene.scene << " row " << y << " column " << x << " channel " << c;
      if (y == 0 || y == 15) {
        for (int c = 0; c < 3; ++c)
          EXPECT_EQ(expected[c], (y == 0 ? scene.top : scene.bottom)[c]) << scene.scene << y;
      }
    }
    EXPECT_EQ(bandless, scene.bandStart == -1.5f ? 4 : 0) << scene.scene;
  }
}

// Without a seed each start draws its own moment.
TEST_F(Dump, StartsWithoutASeedDiffer) {
  EXPECT_TRUE(DumpOf("--t 5 --size 64x36") != DumpOf("--t 5 --size 64x36", "other.bmp"));
}

TEST_F(Dump, SceneAndToneComeFromOptionsOrStoredValues) {
  const std::string title = DumpOf("--seed 5 --size 80x45");
  const std::string menu = DumpOf("--seed 5 --size 80x45 --scene menu", "menu.bmp");
  const std::string light = DumpOf("--seed 5 --size 80x45 --tone light", "light.bmp");
  EXPECT_TRUE(menu != title);
  EXPECT_TRUE(light != title);

  StoreDword(L"Scene", 1);
  EXPECT_TRUE(DumpOf("--seed 5 --size 80x45") == menu);
  EXPECT_TRUE(DumpOf("--seed 5 --size 80x45 --scene title") == title) << "the option wins";
  StoreDword(L"Scene", 2);
  EXPECT_TRUE(DumpOf("--seed 5 --size 80x45") == title) << "out of range gives the title screen";

  StoreDword(L"Tone", 2);
  EXPECT_TRUE(DumpOf("--seed 5 --size 80x45") == light);
  EXPECT_TRUE(DumpOf("--seed 5 --size 80x45 --tone original") == title);
}

// A settings file edited elsewhere (line ends of another system, a line of a newer version)
// still gives its settings, and the dump run, which writes nothing, leaves it as it was.
TEST_F(Dump, EditedSettingsFileIsReadAndLeftAsItWas) {
  const std::string light = DumpOf("--seed 5 --size 80x45 --tone light", "light.bmp");
  const std::string folder = config / "velmora";
  std::filesystem::create_directories(folder);
  const std::string settings =
      "velmora-registry 1\r\n"
      "a line of a newer version\r\n"
      "Software\\VelmoraTitleLive\tTone\t4\t02000000\r\n";
  std::ofstream(folder + "/registry", std::ios::binary) << settings;
  EXPECT_TRUE(DumpOf("--seed 5 --size 80x45") == light);
  EXPECT_EQ(ReadFile(folder + "/registry"), settings);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"registry"});
}

TEST_F(Dump, RefusedSizesAndBadPathsExitTwoAndTouchNothing) {
  const std::string existing = files / "existing.bmp";
  std::ofstream(existing) << "keep me";
  for (const char* size : {"0x0", "0x10", "10x0", "20000x10", "10x16385", "-5x5", "40000x40000"}) {
    EXPECT_EQ(Run("--dump " + existing + " --size " + size), 2) << size;
    EXPECT_EQ(ReadFile(existing), "keep me") << size;
    EXPECT_EQ(Run("--dump " + (files / "new.bmp") + " --size " + size), 2) << size;
  }
  EXPECT_EQ(FilesIn(files.path()), std::vector<std::string>{"existing.bmp"});

  EXPECT_EQ(Run("--dump " + (files / "missing/frame.bmp") + " --size 4x4"), 2);
  EXPECT_EQ(Run("--dump " + files.path() + " --size 4x4"), 2) << "a directory";
  EXPECT_TRUE(std::filesystem::is_directory(files.path()));
  EXPECT_EQ(FilesIn(files.path()), std::vector<std::string>{"existing.bmp"});
}

TEST_F(Dump, FailedWriteKeepsTheOldFile) {
  const std::string existing = files / "frame.bmp";
  std::ofstream(existing) << "keep me";
  // A file-size limit of 1000 blocks makes the 6 MB write fail part way.
  EXPECT_EQ(Run("--dump " + existing, "trap '' XFSZ; ulimit -f 1000; "), 2);
  EXPECT_EQ(ReadFile(existing), "keep me");
  EXPECT_EQ(FilesIn(files.path()), std::vector<std::string>{"frame.bmp"}) << "temporary left";

  // The same run without the limit replaces the file.
  EXPECT_EQ(Run("--dump " + existing + " --seed 1"), 0);
  EXPECT_EQ(ReadFile(existing).size(), 6220854u);
}

// What the name stands for decides how it is written, as opening it for writing would.
TEST_F(Dump, DevicesAndFifosAreWrittenDirectlyAndLinksThrough) {
  // A FIFO stays one, and its reader gets the whole file.
  const std::string fifo = files / "fifo.bmp";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  std::string received;
  std::thread reader([&] { received = ReadFile(fifo); });
  EXPECT_EQ(Run("--dump " + fifo + " --seed 1 --size 16x9"), 0);
  reader.join();
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(received.size(), 54u + 9 * 48);
  EXPECT_EQ(received.substr(0, 2), "BM");

  // A device node (root may make one: the null device) stays a device.
  if (geteuid() == 0) {
    const std::string device = files / "null";
    ASSERT_EQ(mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    EXPECT_EQ(Run("--dump " + device + " --size 16x9"), 0);
    EXPECT_TRUE(std::filesystem::is_character_file(device));
    std::filesystem::remove(device);
  }
  std::filesystem::remove(fifo);

  // A link: the file it names gets the frame, in its own folder, and the link stays.
  ScratchDirectory elsewhere;
  const std::string real = elsewhere / "real.bmp", link = files / "link.bmp";
  std::ofstream(real) << "ORIG";
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  EXPECT_EQ(Run("--dump " + link + " --seed 1 --size 16x9"), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(real).size(), 54u + 9 * 48);

  // A hard link's other name sees the new frame too.
  const std::string other = elsewhere / "other.bmp";
  ASSERT_EQ(::link(real.c_str(), other.c_str()), 0);
  EXPECT_EQ(Run("--dump " + real + " --seed 2 --size 16x9"), 0);
  EXPECT_TRUE(ReadFile(other) == ReadFile(real));
  EXPECT_EQ(FilesIn(files.path()), std::vector<std::string>{"link.bmp"});
  std::vector<std::string> there = FilesIn(elsewhere.path());
  std::sort(there.begin(), there.end());
  EXPECT_EQ(there, (std::vector<std::string>{"other.bmp", "real.bmp"}));
}

TEST_F(Dump, ReplacedFileKeepsItsAccessAndAReadOnlyOneIsNotWritten) {
  const std::string path = files / "frame.bmp";
  std::ofstream(path) << "keep me";
  chmod(path.c_str(), 0444);
  EXPECT_EQ(Run("--dump " + path + " --size 16x9"), 2);
  EXPECT_EQ(ReadFile(path), "keep me");

  chmod(path.c_str(), 0600);
  if (geteuid() == 0) chown(path.c_str(), 65534, 65534);
  EXPECT_EQ(Run("--dump " + path + " --size 16x9"), 0);
  EXPECT_EQ(ReadFile(path).size(), 54u + 9 * 48);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  if (geteuid() == 0) {
    EXPECT_EQ(info.st_uid, 65534u);
  }

  // A name of 246 characters: the temporary file's name must fit beside it.
  const std::string longName = files / (std::string(242, 'n') + ".bmp");
  EXPECT_EQ(Run("--dump " + longName + " --size 16x9"), 0);
  EXPECT_EQ(ReadFile(longName).size(), 54u + 9 * 48);
}

// In a folder the user cannot write, a writable file is written in place.
TEST_F(Dump, FileInAReadOnlyFolderIsWrittenInPlace) {
  const std::string folder = files / "locked", path = folder + "/frame.bmp";
  std::filesystem::create_directory(folder);
  std::ofstream(path) << "old";
  chmod(path.c_str(), 0666);
  chmod(folder.c_str(), 0555);
  // Root writes any folder: the run is made as another user, who may enter these folders.
  std::string user;
  if (geteuid() == 0) {
    chown(folder.c_str(), 65534, 65534);
    chown(path.c_str(), 65534, 65534);
    chmod(files.path().c_str(), 0755);
    user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  int status = std::system((user + "'" VELMORA_BINARY "' --dump " + path +
                            " --seed 1 --size 16x9 2>/dev/null").c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadFile(path).size(), 54u + 9 * 48);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"frame.bmp"});
  chmod(folder.c_str(), 0755);
}

// The name of the temporary file cannot be guessed, and a link waiting under a name is not
// followed: here links wait under the name derived from the target and the process id.
TEST_F(Dump, PlantedLinksBesideTheTargetAreNotFollowed) {
  ScratchDirectory protectedFiles;
  const std::string victim = protectedFiles / "victim", path = files / "out.bmp";
  std::ofstream(victim) << "secret";
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  pid_t pid = fork();
  if (pid == 0) {
    char byte;
    close(go[1]);
    if (read(go[0], &byte, 1) != 1) _exit(126);
    execl(VELMORA_BINARY, VELMORA_BINARY, "--dump", path.c_str(), "--size", "16x9", nullptr);
    _exit(127);
  }
  close(go[0]);
  const std::string pidText = std::to_string(pid);
  for (const std::string& name : {path + "." + pidText + ".tmp", path + ".tmp." + pidText,
                                  path + ".tmp"})
    symlink(victim.c_str(), name.c_str());
  ASSERT_EQ(write(go[1], "x", 1), 1);
  close(go[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadFile(victim), "secret");
  EXPECT_EQ(ReadFile(path).size(), 54u + 9 * 48);
}

// A termination request during the write abandons it: the old file stays, nothing is left.
// A request that comes only after the file was replaced (a busy machine) is tried again.
TEST_F(Dump, TerminationDuringTheWriteLeavesTheOldFileAndNoTemporary) {
  const std::string path = files / "frame.bmp";
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    bool abandoned = false;
    for (int attempt = 0; attempt < 5 && !abandoned; ++attempt) {
      std::ofstream(path) << "keep me";
      pid_t pid = fork();
      if (pid == 0) {
        execl(VELMORA_BINARY, VELMORA_BINARY, "--dump", path.c_str(), "--size", "4096x4096",
              nullptr);
        _exit(127);
      }
      // As soon as a second file appears beside the target, the write has begun.
      bool seen = false;
      for (int i = 0; i < 200000 && !seen; ++i) {
        seen = FilesIn(files.path()).size() > 1;
        if (!seen) usleep(50);
      }
      kill(pid, signal);
      int status = 0;
      waitpid(pid, &status, 0);
      ASSERT_TRUE(seen) << signal;
      EXPECT_EQ(FilesIn(files.path()), std::vector<std::string>{"frame.bmp"}) << signal;
      const bool replaced = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                            ReadFile(path).size() == 54u + 4096u * 4096 * 3;
      if (replaced) continue;
      abandoned = true;
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << signal << ": " << status;
      EXPECT_TRUE(ReadFile(path) == "keep me") << signal;
    }
    EXPECT_TRUE(abandoned) << "signal " << signal << " never came during the write";
  }
}

// A request before the file is opened (here from the program's first moments, so that it
// comes before the frame is drawn) abandons the dump as well.
TEST_F(Dump, TerminationBeforeTheWriteLeavesTheOldFileAndNoTemporary) {
  const std::string existing = files / "frame.bmp";
  for (int signal : {SIGINT, SIGTERM, SIGHUP})
    for (const std::string& path : {existing, files / "new.bmp"}) {
      std::ofstream(existing) << "keep me";
      pid_t pid = SpawnProgram({"--dump", path, "--size", "256x144"}, signal);
      kill(pid, signal);
      EXPECT_EQ(Finish(pid), 2) << signal << " " << path;
      EXPECT_EQ(ReadFile(existing), "keep me") << signal;
      EXPECT_EQ(FilesIn(files.path()), std::vector<std::string>{"frame.bmp"})
          << signal << " " << path;
    }
}

// A FIFO keeps the run waiting, to be opened until it has a reader and then for room while
// its reader takes nothing, until a termination request ends the run.
TEST_F(Dump, TerminationEndsAWaitOnAFifo) {
  const std::string fifo = files / "fifo.bmp";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  for (bool reader : {false, true})
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
      pid_t pid = SpawnProgram({"--dump", fifo, "--size", "640x360"});
      int idle = reader ? open(fifo.c_str(), O_RDONLY | O_NONBLOCK) : -1;
      usleep(300000);  // to reach the wait; a request that comes earlier ends the run alike
      kill(pid, signal);
      EXPECT_EQ(Finish(pid), 2) << "reader " << reader << ", signal " << signal;
      if (idle >= 0) close(idle);
      EXPECT_TRUE(std::filesystem::is_fifo(fifo));
      EXPECT_EQ(FilesIn(files.path()), std::vector<std::string>{"fifo.bmp"});
    }
}

// The rows are written straight from the read-back copy: beside the drawn frame and that
// copy, the file's bytes are never held whole. A tiny dump measures everything else.
TEST_F(Dump, HoldsThePictureTwiceAtMost) {
  auto peak = [&](const char* size) {
    rusage usage = {};
    pid_t pid = SpawnProgram({"--dump", files / "frame.bmp", "--size", size});
    EXPECT_EQ(Finish(pid, &usage), 0) << size;
    return usage.ru_maxrss * 1024.0;
  };
  const double picture = 4096.0 * 4096 * 4, grown = peak("4096x4096") - peak("16x16");
  EXPECT_GT(grown, 1.5 * picture) << "the frame and its copy";
  EXPECT_LT(grown, 2.5 * picture) << "the file's rows held whole as well";
}

// A reader that goes away makes the write fail (exit code 2) instead of killing the program.
TEST_F(Dump, ReaderThatLeavesEndsTheRunWithTwo) {
  const std::string fifo = files / "fifo.bmp";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  std::thread reader([&] {
    FILE* file = std::fopen(fifo.c_str(), "rb");
    char header[54];
    if (file && std::fread(header, 1, sizeof header, file)) std::fclose(file);
  });
  EXPECT_EQ(Run("--dump " + fifo + " --seed 1"), 2);
  reader.join();
}

// In-process runs, where the graphics device can be made to fail.
class DumpInProcess : public Dump {
 protected:
  void SetUp() override {
    Dump::SetUp();
    PortableResetFailures();
  }
  void TearDown() override {
    ReleaseRenderer();
    gApp = AppState();
    PortableResetFailures();
    PortableFailNextReplace(ERROR_SUCCESS);
    PortableFailNextMove(ERROR_SUCCESS);
  }
  int RunHere(const std::string& path) {
    std::vector<std::string> arguments = {"velmora", "--dump", path, "--size", "16x9"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    PortableSetArguments((int)argv.size(), argv.data());
    ReleaseRenderer();
    gApp = AppState();
    ::testing::internal::CaptureStderr();
    int code = RunProgram(nullptr);
    boxes = ::testing::internal::GetCapturedStderr();
    return code;
  }
  std::string boxes;
};

TEST_F(DumpInProcess, RendererStartFailureExitsOneAndGraphicsFailuresTwo) {
  const std::string path = files / "frame.bmp";
  // Which box each failure shows is the renderer tests' concern.
  PortableFailNext(PortableD3DFailure::Texture);
  EXPECT_EQ(RunHere(path), ExitStartFailed);
  EXPECT_NE(boxes.find("Failed to create the textures"), std::string::npos) << boxes;
  EXPECT_FALSE(std::filesystem::exists(path));
  PortableResetFailures();

  // A frame whose constants could not be uploaded is not written as a success.
  std::ofstream(path) << "keep me";
  PortableFailNext(PortableD3DFailure::Map);
  EXPECT_EQ(RunHere(path), ExitDumpFailed);
  EXPECT_EQ(boxes, "") << "a dump failure is reported by its exit code only";
  EXPECT_EQ(ReadFile(path), "keep me");
  PortableResetFailures();
  EXPECT_EQ(RunHere(path), ExitNormal);
  EXPECT_EQ(ReadFile(path).size(), 54u + 9 * 48);
}

// Each documented failure of the replacement: where it leaves the old file under the
// target's name, that stays and the new one goes; where it has taken the old file from
// that name, the new one moves in, so that the run still leaves a picture there, and where
// it cannot move in either it keeps its temporary name rather than be lost.
TEST_F(DumpInProcess, EveryDocumentedReplaceFailureLeavesAPictureAndNoTemporary) {
  const std::string path = files / "frame.bmp";
  const struct {
    DWORD error;
    DWORD moveError;
    int exitCode;
    bool replaced;
    size_t oldFileElsewhere;  // the old file under another name: what the system left
  } cases[] = {{ERROR_UNABLE_TO_REMOVE_REPLACED, ERROR_SUCCESS, ExitDumpFailed, false, 0},
               {ERROR_UNABLE_TO_MOVE_REPLACEMENT, ERROR_SUCCESS, ExitNormal, true, 0},
               {ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, ERROR_SUCCESS, ExitNormal, true, 1},
               {ERROR_UNABLE_TO_MOVE_REPLACEMENT, ERROR_ACCESS_DENIED, ExitDumpFailed, false, 0}};
  const size_t pictureSize = 54u + 9 * 48;
  for (const auto& c : cases) {
    std::filesystem::remove_all(files.path());
    std::filesystem::create_directory(files.path());
    std::ofstream(path) << "keep me";
    chmod(path.c_str(), 0640);
    PortableFailNextReplace(c.error);
    PortableFailNextMove(c.moveError);
    EXPECT_EQ(RunHere(path), c.exitCode) << c.error;
    std::vector<std::string> names = FilesIn(files.path());
    if (c.moveError != ERROR_SUCCESS) {
      // Both names lost the old picture; the new one is all there is, under its own name.
      ASSERT_EQ(names.size(), 1u) << c.error;
      EXPECT_NE(names[0], "frame.bmp");
      EXPECT_EQ(ReadFile(files / names[0]).size(), pictureSize);
      continue;
    }
    EXPECT_EQ(ReadFile(path).size(), c.replaced ? pictureSize : 7u) << c.error;
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u) << c.error;
    EXPECT_EQ(names.size(), 1 + c.oldFileElsewhere) << c.error;
    for (const std::string& name : names)
      EXPECT_TRUE(name == "frame.bmp" || ReadFile(files / name) == "keep me") << name;
  }
}

}  // namespace
