// Named mutexes as a real lock between processes: an exclusive flock on a file named after
// the user and the mutex, in $XDG_RUNTIME_DIR (else /tmp). The lock goes with the process,
// so a killed holder frees the name, as on Windows.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <string>

#include "win32/kernel.h"

namespace {

// Open handles and the lock file each holds (-1 when the name is held elsewhere or the
// mutex has no name). Handles are numbers, not allocations, so a handle left open until
// process exit, as a second instance leaves its own, is no leak.
std::map<uintptr_t, int> handles;
uintptr_t nextHandle = 0x9000;

std::string LockPath(LPCWSTR name) {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  std::string path = dir && *dir ? dir : "/tmp";
  path += "/velmora-mutex-" + std::to_string(getuid()) + "-";
  for (char c : PortableUtf8(name)) path += c == '/' ? '_' : c;
  return path;
}

HANDLE Handle(int fd) {
  nextHandle += 4;
  handles[nextHandle] = fd;
  return (HANDLE)nextHandle;
}

}  // namespace

HANDLE CreateMutexW(SECURITY_ATTRIBUTES*, BOOL, LPCWSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_SUCCESS);
    return Handle(-1);
  }
  int fd = open(LockPath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    SetLastError(ERROR_SUCCESS);
    return Handle(fd);
  }
  bool held = errno == EWOULDBLOCK;
  close(fd);
  if (!held) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  // Windows opens the existing mutex and says so.
  SetLastError(ERROR_ALREADY_EXISTS);
  return Handle(-1);
}

BOOL CloseHandle(HANDLE handle) {
  auto found = handles.find((uintptr_t)handle);
  if (found == handles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (found->second >= 0) close(found->second);
  handles.erase(found);
  return TRUE;
}
