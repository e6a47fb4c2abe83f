// A fresh directory for one test, removed with everything in it at the end; it can also
// stand in for the user's configuration directory so the real registry file is never touched.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-test-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Points XDG_CONFIG_HOME here for this process and the programs it starts.
  void UseAsConfigHome() const { setenv("XDG_CONFIG_HOME", path_.c_str(), 1); }

 private:
  std::string path_;
};
