// Named mutexes as a real lock between processes: an exclusive flock on a file named after
// the user and the mutex, in $XDG_RUNTIME_DIR (else /tmp). The lock goes with the process,
// so a killed holder frees the name, as on Windows.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <set>
#include <string>

#include "platform/portable/kernel.h"

namespace {

struct NamedMutex {
  int fd;  // -1 when the name is held elsewhere or the mutex has no name
};

std::set<NamedMutex*> handles;

std::string LockPath(LPCWSTR name) {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  std::string path = dir && *dir ? dir : "/tmp";
  path += "/velmora-mutex-" + std::to_string(getuid()) + "-";
  for (char c : PortableUtf8(name)) path += c == '/' ? '_' : c;
  return path;
}

HANDLE Handle(int fd) {
  NamedMutex* mutex = new NamedMutex{fd};
  handles.insert(mutex);
  return mutex;
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
  auto found = handles.find((NamedMutex*)handle);
  if (found == handles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if ((*found)->fd >= 0) close((*found)->fd);
  delete *found;
  handles.erase(found);
  return TRUE;
}
