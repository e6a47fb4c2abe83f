// The current user's registry on a system without one: every value lives in one text file,
// $XDG_CONFIG_HOME/velmora/registry (else ~/.config/velmora/registry).
//
// The file is read afresh by every call, so that processes of the same user see each other's
// writes; a change is made under an exclusive lock and replaces the whole file through a
// temporary file and a rename, so no reader ever sees half a file. One line per value:
//
//   velmora-registry 1
//   <key path> TAB <value name> TAB <type number> TAB <data bytes in hexadecimal>
//
// Key paths and value names are UTF-8, with '%', tab, line feed and carriage return written
// as %25, %09, %0A and %0D. A reader takes every line it understands (carriage returns and
// spaces at line ends do not matter) and passes over the others; a writer keeps the lines it
// did not understand as they were. What cannot be read whole (no permission, not a regular
// file, larger than 1 MiB) gives no values and is never written over. A file without the
// header is not a registry: the first write moves it aside under a new name (never deleting
// it) and starts a new one. A link in the file's place is written through: the file it
// names gets the new content and keeps its permission bits.
#include "win32/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <sstream>
#include <string>
#include <vector>

#include "win32/kernel.h"

namespace {

const char kHeader[] = "velmora-registry 1";

struct StoredValue {
  std::wstring key;
  std::wstring name;
  DWORD type;
  std::vector<BYTE> data;
};

// Larger files are not read: a start must not wait on them.
const size_t kLargestFile = 1 << 20;

// Registry names compare without regard to letter case, as on Windows.
bool SameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return true;
}

std::string EscapeField(const std::wstring& text) {
  std::string out;
  for (char c : PortableUtf8(text.c_str())) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", (unsigned char)c);
      out += code;
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool UnescapeField(const std::string& field, std::wstring* text) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      out += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return false;
    int high = HexValue(field[i + 1]), low = HexValue(field[i + 2]);
    if (high < 0 || low < 0) return false;
    out += (char)(high * 16 + low);
    i += 2;
  }
  *text = PortableWide(out.c_str());
  return true;
}

bool ParseLine(const std::string& line, StoredValue* value) {
  size_t tab1 = line.find('\t');
  size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
  size_t tab3 = tab2 == std::string::npos ? tab2 : line.find('\t', tab2 + 1);
  if (tab3 == std::string::npos || line.find('\t', tab3 + 1) != std::string::npos) return false;
  if (!UnescapeField(line.substr(0, tab1), &value->key)) return false;
  if (!UnescapeField(line.substr(tab1 + 1, tab2 - tab1 - 1), &value->name)) return false;

  std::string type = line.substr(tab2 + 1, tab3 - tab2 - 1);
  if (type.empty() || type.size() > 10 || type.find_first_not_of("0123456789") != std::string::npos)
    return false;
  unsigned long long typeNumber = std::strtoull(type.c_str(), nullptr, 10);
  if (typeNumber > 0xFFFFFFFFull) return false;
  value->type = (DWORD)typeNumber;

  std::string hex = line.substr(tab3 + 1);
  if (hex.size() % 2 != 0) return false;
  value->data.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    int high = HexValue(hex[i]), low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    value->data.push_back((BYTE)(high * 16 + low));
  }
  return true;
}

// One line of the file: a value it understood, or a line kept as it was.
struct Entry {
  bool understood;
  StoredValue value;
  std::string text;
};

struct RegistryFile {
  bool readable = true;  // false: exists, but could not be read whole
  bool foreign = false;  // read, but without the header
  std::vector<Entry> entries;
};

std::string RegistryPath() { return PortableConfigFolder() + "/registry"; }

void TrimLineEnd(std::string* line) {
  while (!line->empty() && (line->back() == '\r' || line->back() == ' ')) line->pop_back();
}

// Non-blocking, so that a FIFO in the file's place cannot hold the caller.
RegistryFile ReadRegistryFile() {
  RegistryFile file;
  int fd = open(RegistryPath().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    file.readable = errno == ENOENT;
    return file;
  }
  struct stat info;
  std::string bytes;
  file.readable = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                  (uint64_t)info.st_size <= kLargestFile;
  // In pieces, so that a read costs what the file holds, up to a piece past the largest.
  char piece[4096];
  while (file.readable && bytes.size() <= kLargestFile) {
    ssize_t n = read(fd, piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      file.readable = n == 0;
      break;
    }
    bytes.append(piece, (size_t)n);
  }
  file.readable = file.readable && bytes.size() <= kLargestFile;  // it grew while being read
  close(fd);
  if (!file.readable) return file;

  std::istringstream lines(bytes);
  std::string line;
  std::getline(lines, line);
  TrimLineEnd(&line);
  file.foreign = !bytes.empty() && line != kHeader;
  if (file.foreign) return file;
  while (std::getline(lines, line)) {
    Entry entry{false, {}, line};
    TrimLineEnd(&line);
    if (line.empty()) continue;
    entry.understood = ParseLine(line, &entry.value);
    file.entries.push_back(entry);
  }
  return file;
}

// Keeps a file that is not a registry under the first free name registry.unreadable.N.
bool MoveAside(const std::string& path) {
  for (int n = 1; n < 10000; ++n) {
    std::string aside = path + ".unreadable." + std::to_string(n);
    struct stat info;
    if (lstat(aside.c_str(), &info) != 0 && errno == ENOENT)
      return std::rename(path.c_str(), aside.c_str()) == 0;
  }
  return false;
}

// The file that a chain of links in the registry's place ends at (itself when none).
std::string LinkTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    char target[PATH_MAX];
    ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    if (length <= 0) return path;
    target[length] = '\0';
    if (target[0] == '/')
      path = target;
    else
      path = path.substr(0, path.rfind('/') + 1) + target;
  }
  return path;
}

// Temporary files of writers that were killed: every writer holds the lock while its own
// exists, so under the lock any that is there is stale.
void RemoveStaleTemporaries(const std::string& folder, const std::string& prefix) {
  DIR* directory = opendir(folder.c_str());
  if (!directory) return;
  while (const dirent* entry = readdir(directory)) {
    std::string name = entry->d_name;
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        name.find_first_not_of("0123456789", prefix.size()) == std::string::npos)
      unlinkat(dirfd(directory), name.c_str(), 0);
  }
  closedir(directory);
}

std::string FormatEntry(const Entry& entry) {
  if (!entry.understood) return entry.text;
  const StoredValue& value = entry.value;
  std::ostringstream text;
  text << EscapeField(value.key) << '\t' << EscapeField(value.name) << '\t' << value.type << '\t';
  for (BYTE b : value.data) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", b);
    text << hex;
  }
  return text.str();
}

LSTATUS SaveEntries(const RegistryFile& file) {
  std::string bytes = std::string(kHeader) + '\n';
  for (const Entry& entry : file.entries) bytes += FormatEntry(entry) + '\n';
  if (bytes.size() > kLargestFile) return ERROR_NOT_ENOUGH_MEMORY;  // it could not be read back

  std::string path = LinkTarget(RegistryPath());
  if (file.foreign && !MoveAside(path)) return ERROR_ACCESS_DENIED;
  size_t slash = path.rfind('/');
  std::string prefix = path.substr(slash + 1) + ".tmp.";
  RemoveStaleTemporaries(path.substr(0, slash), prefix);
  std::string temporary = path.substr(0, slash + 1) + prefix + std::to_string(getpid());

  struct stat existing;
  mode_t mode = stat(path.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0600;
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return ERROR_ACCESS_DENIED;
  bool written = fchmod(fd, mode) == 0;
  for (size_t done = 0; written && done < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += (size_t)n;
  }
  written = written && fsync(fd) == 0;
  written = close(fd) == 0 && written;
  if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return ERROR_SUCCESS;
  unlink(temporary.c_str());
  return ERROR_ACCESS_DENIED;
}

// Holds the registry's lock file for one read-modify-write, so two processes that change
// values at the same time do not lose either change.
class RegistryLock {
 public:
  RegistryLock() {
    std::string directory = PortableConfigFolder();
    if (!PortableMakeFolders(directory)) return;
    fd_ = open((directory + "/registry.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~RegistryLock() {
    if (fd_ >= 0) close(fd_);
  }
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool IsCurrentUser(HKEY key) { return key == HKEY_CURRENT_USER; }

std::wstring KeyPath(LPCWSTR subKey) { return subKey ? subKey : L""; }
std::wstring ValueName(LPCWSTR name) { return name ? name : L""; }

Entry* FindValue(RegistryFile& file, const std::wstring& key, const std::wstring& name) {
  for (Entry& entry : file.entries)
    if (entry.understood && SameName(entry.value.key, key) && SameName(entry.value.name, name))
      return &entry;
  return nullptr;
}

// The RRF_RT_* bit that admits a value of this type; types without one pass only RRF_RT_ANY.
DWORD RestrictionBit(DWORD type) {
  switch (type) {
    case REG_NONE:
      return RRF_RT_REG_NONE;
    case REG_SZ:
      return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ:
      return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY:
      return RRF_RT_REG_BINARY;
    case REG_DWORD:
      return RRF_RT_REG_DWORD;
    default:
      return RRF_RT_ANY;
  }
}

}  // namespace

LSTATUS RegGetValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD flags, DWORD* type,
                     PVOID data, DWORD* dataSize) {
  if (!IsCurrentUser(key)) return ERROR_INVALID_HANDLE;
  if ((flags & RRF_RT_ANY) == 0 || (data && !dataSize)) return ERROR_INVALID_PARAMETER;

  RegistryFile file = ReadRegistryFile();
  const Entry* entry = FindValue(file, KeyPath(subKey), ValueName(valueName));
  if (!entry) return ERROR_FILE_NOT_FOUND;
  const StoredValue* value = &entry->value;
  DWORD restriction = RestrictionBit(value->type);
  if ((flags & restriction) != restriction) return ERROR_UNSUPPORTED_TYPE;

  // A string is handed out with its terminator even when it was stored without one.
  size_t size = value->data.size();
  if (value->type == REG_SZ || value->type == REG_EXPAND_SZ) {
    size = (size + sizeof(wchar_t) - 1) / sizeof(wchar_t) * sizeof(wchar_t);
    wchar_t last = 0;
    if (size >= sizeof(wchar_t) && size == value->data.size())
      std::memcpy(&last, value->data.data() + size - sizeof(wchar_t), sizeof(wchar_t));
    if (size < sizeof(wchar_t) || size != value->data.size() || last != 0) size += sizeof(wchar_t);
  }

  if (type) *type = value->type;
  if (!dataSize) return ERROR_SUCCESS;
  if (!data) {
    *dataSize = (DWORD)size;
    return ERROR_SUCCESS;
  }
  if (*dataSize < size) {
    *dataSize = (DWORD)size;
    return ERROR_MORE_DATA;
  }
  std::memset(data, 0, size);
  if (!value->data.empty()) std::memcpy(data, value->data.data(), value->data.size());
  *dataSize = (DWORD)size;
  return ERROR_SUCCESS;
}

LSTATUS RegSetKeyValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD type, LPCVOID data,
                        DWORD dataSize) {
  if (!IsCurrentUser(key)) return ERROR_INVALID_HANDLE;
  if (!data && dataSize != 0) return ERROR_INVALID_PARAMETER;
  RegistryLock lock;
  if (!lock.Held()) return ERROR_ACCESS_DENIED;

  // A file that could not be read whole is kept as it is: the change cannot be merged into it.
  RegistryFile file = ReadRegistryFile();
  if (!file.readable) return ERROR_ACCESS_DENIED;
  std::wstring path = KeyPath(subKey), name = ValueName(valueName);
  Entry* entry = FindValue(file, path, name);
  if (!entry) {
    file.entries.push_back({true, {path, name, type, {}}, {}});
    entry = &file.entries.back();
  }
  entry->value.type = type;
  const BYTE* bytes = (const BYTE*)data;
  entry->value.data.assign(bytes, bytes + dataSize);
  return SaveEntries(file);
}

LSTATUS RegDeleteKeyValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName) {
  if (!IsCurrentUser(key)) return ERROR_INVALID_HANDLE;
  RegistryLock lock;
  if (!lock.Held()) return ERROR_ACCESS_DENIED;

  RegistryFile file = ReadRegistryFile();
  if (!file.readable) return ERROR_ACCESS_DENIED;
  const Entry* entry = FindValue(file, KeyPath(subKey), ValueName(valueName));
  if (!entry) return ERROR_FILE_NOT_FOUND;
  file.entries.erase(file.entries.begin() + (entry - file.entries.data()));
  return SaveEntries(file);
}
