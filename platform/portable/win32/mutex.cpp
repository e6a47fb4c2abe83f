// Named mutexes as a real lock between processes: an exclusive flock on a file named after
// the mutex, in a folder that this user owns and no one else can write. The lock goes with
// the process, so a killed holder frees the name, as on Windows.
//
// The folder is $XDG_RUNTIME_DIR when that is such a folder and lets the lock be made;
// else velmora-<uid> in $TMPDIR (else /tmp), made for the purpose; else the user's
// configuration folder of the program. A folder that another user owns or can write (by
// its group or other bits, which also show an access list's grants) is never used, and the
// lock file is opened without following links, so no other user can hold the name or point
// the lock at another file.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "win32/handles.h"
#include "win32/kernel.h"

namespace {

bool SafeForLock(const std::string& folder) {
  struct stat info;
  return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
         (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The runtime folder is the session's and is used only as it is; the others are made.
struct LockFolder {
  std::string path;
  bool make;
};

std::vector<LockFolder> LockFolders() {
  std::vector<LockFolder> folders;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') folders.push_back({runtime, false});
  const char* temporary = std::getenv("TMPDIR");
  std::string shared = temporary && temporary[0] == '/' ? temporary : "/tmp";
  folders.push_back({shared + "/velmora-" + std::to_string(getuid()), true});
  folders.push_back({PortableConfigFolder(), true});
  return folders;
}

// The open lock file in the first usable folder, or -1.
int OpenLockFile(LPCWSTR name) {
  std::string file = "mutex-";
  for (char c : PortableUtf8(name)) file += c == '/' ? '_' : c;
  for (const LockFolder& folder : LockFolders()) {
    if (folder.make) PortableMakeFolders(folder.path);
    if (!SafeForLock(folder.path)) continue;
    int fd = open((folder.path + "/" + file).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) continue;
    struct stat info;
    // Others may enter the folder, so the file itself must be closed to them: a reader
    // could hold the lock too.
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == getuid() &&
        (info.st_mode & (S_IRWXG | S_IRWXO)) == 0)
      return fd;
    close(fd);
  }
  return -1;
}

}  // namespace

HANDLE CreateMutexW(SECURITY_ATTRIBUTES*, BOOL, LPCWSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_SUCCESS);
    return PortableNewHandle(PortableHandleKind::Mutex, -1);
  }
  int fd = OpenLockFile(name);
  if (fd < 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    SetLastError(ERROR_SUCCESS);
    return PortableNewHandle(PortableHandleKind::Mutex, fd);
  }
  bool held = errno == EWOULDBLOCK;
  close(fd);
  if (!held) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  // Windows opens the existing mutex and says so.
  SetLastError(ERROR_ALREADY_EXISTS);
  return PortableNewHandle(PortableHandleKind::Mutex, -1);
}
