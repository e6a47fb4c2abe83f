// Files by handle on POSIX descriptors.
#include "win32/files.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "control/files_control.h"
#include "win32/desktop_internal.h"
#include "win32/handles.h"
#include "win32/kernel.h"

namespace {

DWORD FileError(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EROFS:
      return ERROR_WRITE_PROTECT;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EFBIG:
      return ERROR_FILE_TOO_LARGE;
    case EPIPE:
      return ERROR_NO_DATA;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case ECANCELED:
      return ERROR_OPERATION_ABORTED;
    default:
      return ERROR_GEN_FAILURE;
  }
}

BOOL Fail(int error) {
  SetLastError(FileError(error));
  return FALSE;
}

// Windows keeps the read-only attribute apart from access rights, so it stops everyone;
// here it is a regular file without any write bit.
bool ReadOnly(const struct stat& info) {
  return S_ISREG(info.st_mode) && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// A termination request that no window has taken ends every write (files.h).
bool Abandoned() { return desktop::TerminationPending(); }

// Opens an existing name. A FIFO opened for writing only waits until it has a reader, in
// short naps that a termination request ends, and stays non-blocking for WriteFile.
int OpenExisting(const std::string& name, int mode) {
  struct stat info;
  if ((mode & O_ACCMODE) != O_WRONLY || stat(name.c_str(), &info) != 0 || !S_ISFIFO(info.st_mode))
    return open(name.c_str(), mode);
  for (;;) {
    int fd = open(name.c_str(), mode | O_NONBLOCK);
    if (fd >= 0 || errno != ENXIO) return fd;
    if (Abandoned()) {
      errno = ECANCELED;
      return -1;
    }
    timespec nap = {0, 10 * 1000 * 1000};
    nanosleep(&nap, nullptr);
  }
}

// The failures that the next ReplaceFileW and MoveFileExW give instead of succeeding, if any.
DWORD injectedReplaceFailure = ERROR_SUCCESS;
DWORD injectedMoveFailure = ERROR_SUCCESS;

// The temporary files that a termination signal removes: a fixed table, so that the
// handler reads nothing that is being allocated or freed.
struct TemporarySlot {
  std::atomic<bool> used{false};
  char path[PATH_MAX];
};
TemporarySlot temporaries[8];

void RememberTemporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return;
  for (TemporarySlot& slot : temporaries) {
    if (slot.used.load()) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.used.store(true);
    return;
  }
}

void ForgetTemporary(const std::string& path) {
  for (TemporarySlot& slot : temporaries)
    if (slot.used.load() && path == slot.path) slot.used.store(false);
}

}  // namespace

void PortableFailNextReplace(DWORD error) { injectedReplaceFailure = error; }
void PortableFailNextMove(DWORD error) { injectedMoveFailure = error; }

void PortableRemoveTemporaryFiles() {
  for (TemporarySlot& slot : temporaries)
    if (slot.used.load()) {
      unlink(slot.path);
      slot.used.store(false);
    }
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE) {
  if (!path || disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if ((access & GENERIC_WRITE) && Abandoned()) {
    Fail(ECANCELED);
    return INVALID_HANDLE_VALUE;
  }
  std::string name = PortableUtf8(path);
  int mode = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  mode |= O_CLOEXEC;
  if (flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) mode |= O_NOFOLLOW;

  // Opened without truncation first, so that a read-only file is refused untouched.
  bool created = false;
  int fd = -1;
  if (disposition == CREATE_NEW) {
    // A termination signal waits until a temporary file is known, so it always finds it.
    sigset_t termination, previous;
    sigemptyset(&termination);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&termination, signal);
    sigprocmask(SIG_BLOCK, &termination, &previous);
    if (!Abandoned()) fd = open(name.c_str(), mode | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
    else errno = ECANCELED;
    created = fd >= 0;
    if (created && (flagsAndAttributes & FILE_ATTRIBUTE_TEMPORARY)) RememberTemporary(name);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
  } else {
    fd = OpenExisting(name, mode);
    if (fd < 0 && errno == ENOENT && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS)) {
      fd = open(name.c_str(), mode | O_CREAT, 0666);
      created = fd >= 0;
    }
  }
  if (fd < 0) {
    Fail(errno);
    return INVALID_HANDLE_VALUE;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) ||
      ((access & GENERIC_WRITE) && ReadOnly(info))) {
    if (created) DeleteFileW(path);
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if ((disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && S_ISREG(info.st_mode) &&
      ftruncate(fd, 0) != 0) {
    Fail(errno);
    close(fd);
    return INVALID_HANDLE_VALUE;
  }
  bool existed = !created && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return PortableNewHandle(PortableHandleKind::File, fd);
}

// A synchronous write writes everything or fails; to a pipe it waits for room as long as
// no termination request comes.
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, DWORD* written, LPOVERLAPPED) {
  int fd;
  if (written) *written = 0;
  if (!PortableHandleDescriptor(file, PortableHandleKind::File, &fd)) return FALSE;
  const char* bytes = (const char*)data;
  DWORD done = 0;
  while (done < size) {
    if (Abandoned()) {
      if (written) *written = done;
      return Fail(ECANCELED);
    }
    ssize_t n = write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd room = {fd, POLLOUT, 0};
      poll(&room, 1, 100);
      continue;
    }
    if (n <= 0) {
      if (written) *written = done;
      return Fail(n < 0 ? errno : ENOSPC);
    }
    done += (DWORD)n;
  }
  if (written) *written = done;
  return TRUE;
}

BOOL SetEndOfFile(HANDLE file) {
  int fd;
  if (!PortableHandleDescriptor(file, PortableHandleKind::File, &fd)) return FALSE;
  if (Abandoned()) return Fail(ECANCELED);
  off_t at = lseek(fd, 0, SEEK_CUR);
  if (at < 0 || ftruncate(fd, at) != 0) return Fail(errno);
  return TRUE;
}

DWORD GetFileType(HANDLE file) {
  int fd;
  struct stat info;
  if (!PortableHandleDescriptor(file, PortableHandleKind::File, &fd)) return FILE_TYPE_UNKNOWN;
  if (fstat(fd, &info) != 0) {
    Fail(errno);
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(ERROR_SUCCESS);
  if (S_ISREG(info.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(info.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
  int fd;
  struct stat info;
  if (!PortableHandleDescriptor(file, PortableHandleKind::File, &fd)) return FALSE;
  if (fstat(fd, &info) != 0) return Fail(errno);
  *information = {};
  information->dwFileAttributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY
                                  : ReadOnly(info)       ? FILE_ATTRIBUTE_READONLY
                                                         : FILE_ATTRIBUTE_NORMAL;
  information->dwVolumeSerialNumber = (DWORD)info.st_dev;
  information->nFileSizeHigh = (DWORD)((uint64_t)info.st_size >> 32);
  information->nFileSizeLow = (DWORD)info.st_size;
  information->nNumberOfLinks = (DWORD)info.st_nlink;
  information->nFileIndexHigh = (DWORD)((uint64_t)info.st_ino >> 32);
  information->nFileIndexLow = (DWORD)info.st_ino;
  return TRUE;
}

DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD size, DWORD) {
  int fd;
  if (!PortableHandleDescriptor(file, PortableHandleKind::File, &fd)) return 0;
  char link[64], target[PATH_MAX];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t length = readlink(link, target, sizeof target - 1);
  if (length <= 0 || target[0] != '/') {
    SetLastError(ERROR_PATH_NOT_FOUND);  // no name in the file system (a pipe, a socket)
    return 0;
  }
  target[length] = '\0';
  std::wstring name = PortableWide(target);
  if (name.size() >= size) return (DWORD)name.size() + 1;
  name.copy(path, name.size());
  path[name.size()] = L'\0';
  return (DWORD)name.size();
}

BOOL ReplaceFileW(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD, LPVOID, LPVOID) {
  if (!replaced || !replacement || backup) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (Abandoned()) return Fail(ECANCELED);
  std::string to = PortableUtf8(replaced), from = PortableUtf8(replacement);
  struct stat target;
  if (stat(to.c_str(), &target) != 0) return Fail(errno);
  if (ReadOnly(target)) return Fail(EACCES);
  // The replacement takes on the replaced file's access, read through a descriptor so that
  // nothing put in its place is changed instead.
  int fd = open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return Fail(errno);
  struct stat source;
  bool regular = fstat(fd, &source) == 0 && S_ISREG(source.st_mode);
  if (regular && (source.st_uid != target.st_uid || source.st_gid != target.st_gid) &&
      fchown(fd, target.st_uid, target.st_gid) != 0)
    (void)!fchown(fd, (uid_t)-1, target.st_gid);  // one who may not give files away
  if (regular) fchmod(fd, target.st_mode & 07777);
  close(fd);
  if (!regular) return Fail(EACCES);
  if (DWORD error = injectedReplaceFailure) {
    injectedReplaceFailure = ERROR_SUCCESS;
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) unlink(to.c_str());
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
      (void)!rename(to.c_str(), (to.substr(0, to.rfind('/') + 1) + "~replaced-" +
                                 std::to_string(target.st_ino)).c_str());
    SetLastError(error);
    return FALSE;
  }
  // A rename happens whole or not at all: when it fails, both files keep their names.
  if (rename(from.c_str(), to.c_str()) != 0) {
    SetLastError(ERROR_UNABLE_TO_REMOVE_REPLACED);
    return FALSE;
  }
  ForgetTemporary(from);
  return TRUE;
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR destination, DWORD flags) {
  if (!existing || !destination) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (Abandoned()) return Fail(ECANCELED);
  if (DWORD error = injectedMoveFailure) {
    injectedMoveFailure = ERROR_SUCCESS;
    SetLastError(error);
    return FALSE;
  }
  std::string from = PortableUtf8(existing), to = PortableUtf8(destination);
  struct stat target;
  bool replacing = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
  if (replacing && lstat(to.c_str(), &target) == 0 && (S_ISDIR(target.st_mode) || ReadOnly(target)))
    return Fail(EACCES);
  unsigned how = replacing ? 0 : RENAME_NOREPLACE;
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), how) != 0) {
    if (errno != EEXIST) return Fail(errno);
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  ForgetTemporary(from);
  // Through to the disk: the folder that now names the file.
  if (flags & MOVEFILE_WRITE_THROUGH) {
    size_t slash = to.rfind('/');
    std::string folderName = slash == std::string::npos ? "." : to.substr(0, slash + 1);
    int folder = open(folderName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      fsync(folder);
      close(folder);
    }
  }
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR path) {
  std::string name = PortableUtf8(path);
  struct stat info;
  if (lstat(name.c_str(), &info) == 0 && (S_ISDIR(info.st_mode) || ReadOnly(info)))
    return Fail(EACCES);
  if (unlink(name.c_str()) != 0) return Fail(errno);
  ForgetTemporary(name);
  return TRUE;
}
