// Kernel services on POSIX: clocks, process identity, last error, the program's own file,
// the user's interface language, files by wide path, and UTF-8 at that boundary.
#include "win32/kernel.h"

#include "control/desktop_control.h"
#include "win32/desktop_internal.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

thread_local DWORD gLastError = ERROR_SUCCESS;

// The program is the only module; its handle only has to be non-null and stable.
struct ModuleTag {
  int unused;
} gModule;

constexpr DWORD kModNotFound = 126;
constexpr DWORD kGenFailure = 31;

int64_t MonotonicNanoseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (int64_t)now.tv_sec * 1000000000 + now.tv_nsec;
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    default:
      return kGenFailure;
  }
}

}  // namespace

// The tick count and the performance counter are one clock: a stall moves both.
ULONGLONG GetTickCount64() {
  return (ULONGLONG)(PortableAdjustCounter(MonotonicNanoseconds(), 1000000000) / 1000000);
}

DWORD GetCurrentProcessId() { return (DWORD)getpid(); }

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  // Tests may freeze or advance the counter to stand for a stalled machine.
  count->QuadPart = PortableAdjustCounter(MonotonicNanoseconds(), 1000000000);
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = 1000000000;
  return TRUE;
}

void Sleep(DWORD milliseconds) {
  if (desktop::PassWaitVirtually(milliseconds)) return;
  timespec remaining = {(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

DWORD GetLastError() { return gLastError; }

void SetLastError(DWORD error) { gLastError = error; }

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
  if (moduleName) {
    SetLastError(kModNotFound);
    return nullptr;
  }
  return (HMODULE)&gModule;
}

// Windows' contract: the name is cut to size - 1 characters and terminated, and a cut
// name reports size with ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  if (module && module != (HMODULE)&gModule) {
    SetLastError(kModNotFound);
    return 0;
  }
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length < 0) {
    SetLastError(ErrorFromErrno(errno));
    return 0;
  }
  path[length] = '\0';
  std::wstring name = PortableWide(path);
  if (size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (name.size() >= size) {
    name.copy(fileName, size - 1);
    fileName[size - 1] = L'\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  name.copy(fileName, name.size());
  fileName[name.size()] = L'\0';
  return (DWORD)name.size();
}

// The locale variables in their POSIX order of precedence: the first one set decides.
LANGID GetUserDefaultUILanguage() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    if (value[0] == 'z' && value[1] == 'h') return MAKELANGID(LANG_CHINESE, 0x02);
    if (value[0] == 'j' && value[1] == 'a') return MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
    break;
  }
  return MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT);
}

// Ends at once, as on Windows: no static destructors run (the caller may be deep inside
// a window procedure), only the C runtime's buffers reach their files.
namespace {
void (*gExitObserver)(UINT) = nullptr;
}  // namespace

void PortableSetExitObserver(void (*observer)(UINT exitCode)) { gExitObserver = observer; }

[[noreturn]] void ExitProcess(UINT exitCode) {
  if (gExitObserver) gExitObserver(exitCode);
  std::fflush(nullptr);
  std::_Exit((int)exitCode);
}

FILE* _wfopen(const wchar_t* path, const wchar_t* mode) {
  return std::fopen(PortableUtf8(path).c_str(), PortableUtf8(mode).c_str());
}

std::string PortableConfigFolder() {
  // Only an absolute XDG_CONFIG_HOME counts; a relative one is ignored, as the XDG rules say.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/velmora";
  const char* home = std::getenv("HOME");
  if (!home || !home[0]) {
    const passwd* user = getpwuid(getuid());
    home = user ? user->pw_dir : "/tmp";
  }
  return std::string(home) + "/.config/velmora";
}

bool PortableMakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// Bytes that are not valid UTF-8 become U+DC80..U+DCFF, one per byte, and go back to the
// same bytes, so any file name given as an argument reaches the same file.
std::wstring PortableWide(const char* utf8) {
  std::wstring text;
  const unsigned char* s = (const unsigned char*)utf8;
  while (*s) {
    unsigned lead = *s;
    int length = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
      length = 1, code = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07;
    }
    for (int i = 1; i < length; ++i) {
      if ((s[i] & 0xC0) != 0x80) {
        length = 0;
        break;
      }
      code = (code << 6) | (s[i] & 0x3F);
    }
    static const uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    bool valid = length > 0 && code >= kShortest[length];
    if (!valid || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
      text += (wchar_t)(0xDC00 + lead);
      ++s;
      continue;
    }
    text += (wchar_t)code;
    s += length;
  }
  return text;
}

std::string PortableUtf8(const wchar_t* text) {
  std::string utf8;
  for (; *text; ++text) {
    uint32_t code = (uint32_t)*text;
    if (code >= 0xDC80 && code <= 0xDCFF) {
      utf8 += (char)(code - 0xDC00);
      continue;
    }
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = 0xFFFD;
    if (code < 0x80) {
      utf8 += (char)code;
    } else if (code < 0x800) {
      utf8 += (char)(0xC0 | (code >> 6));
      utf8 += (char)(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      utf8 += (char)(0xE0 | (code >> 12));
      utf8 += (char)(0x80 | ((code >> 6) & 0x3F));
      utf8 += (char)(0x80 | (code & 0x3F));
    } else {
      utf8 += (char)(0xF0 | (code >> 18));
      utf8 += (char)(0x80 | ((code >> 12) & 0x3F));
      utf8 += (char)(0x80 | ((code >> 6) & 0x3F));
      utf8 += (char)(0x80 | (code & 0x3F));
    }
  }
  return utf8;
}
