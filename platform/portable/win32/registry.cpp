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
// as %25, %09, %0A and %0D. A file that does not parse is moved aside under a new name (never
// deleted) and the registry starts empty.
#include "win32/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <fstream>
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

std::string RegistryDirectory() {
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

bool MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

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

// Keeps an unreadable file for inspection under the first free name registry.unreadable.N.
void MoveAside(const std::string& path) {
  for (int n = 1; n < 10000; ++n) {
    std::string aside = path + ".unreadable." + std::to_string(n);
    struct stat info;
    if (stat(aside.c_str(), &info) != 0 && errno == ENOENT) {
      std::rename(path.c_str(), aside.c_str());
      return;
    }
  }
}

std::vector<StoredValue> LoadValues() {
  std::string path = RegistryDirectory() + "/registry";
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  std::vector<StoredValue> values;
  std::string line;
  bool valid = (bool)std::getline(file, line) && line == kHeader;
  while (valid && std::getline(file, line)) {
    if (line.empty()) continue;
    StoredValue value;
    valid = ParseLine(line, &value);
    if (valid) values.push_back(value);
  }
  if (valid) return values;
  file.close();
  MoveAside(path);
  return {};
}

bool SaveValues(const std::vector<StoredValue>& values) {
  std::string directory = RegistryDirectory();
  std::string path = directory + "/registry";
  std::string temporary = path + ".tmp." + std::to_string(getpid());

  std::ostringstream text;
  text << kHeader << '\n';
  for (const StoredValue& value : values) {
    text << EscapeField(value.key) << '\t' << EscapeField(value.name) << '\t' << value.type << '\t';
    for (BYTE b : value.data) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", b);
      text << hex;
    }
    text << '\n';
  }
  std::string bytes = text.str();

  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool written = true;
  for (size_t done = 0; written && done < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += (size_t)n;
  }
  written = written && fsync(fd) == 0;
  written = close(fd) == 0 && written;
  if (written && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

// Holds the registry's lock file for one read-modify-write, so two processes that change
// values at the same time do not lose either change.
class RegistryLock {
 public:
  RegistryLock() {
    std::string directory = RegistryDirectory();
    if (!MakeDirectories(directory)) return;
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

StoredValue* FindValue(std::vector<StoredValue>& values, const std::wstring& key,
                       const std::wstring& name) {
  for (StoredValue& value : values)
    if (SameName(value.key, key) && SameName(value.name, name)) return &value;
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

  std::vector<StoredValue> values = LoadValues();
  const StoredValue* value = FindValue(values, KeyPath(subKey), ValueName(valueName));
  if (!value) return ERROR_FILE_NOT_FOUND;
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

  std::vector<StoredValue> values = LoadValues();
  std::wstring path = KeyPath(subKey), name = ValueName(valueName);
  StoredValue* value = FindValue(values, path, name);
  if (!value) {
    values.push_back({path, name, type, {}});
    value = &values.back();
  }
  value->type = type;
  const BYTE* bytes = (const BYTE*)data;
  value->data.assign(bytes, bytes + dataSize);
  return SaveValues(values) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS RegDeleteKeyValueW(HKEY key, LPCWSTR subKey, LPCWSTR valueName) {
  if (!IsCurrentUser(key)) return ERROR_INVALID_HANDLE;
  RegistryLock lock;
  if (!lock.Held()) return ERROR_ACCESS_DENIED;

  std::vector<StoredValue> values = LoadValues();
  const StoredValue* value = FindValue(values, KeyPath(subKey), ValueName(valueName));
  if (!value) return ERROR_FILE_NOT_FOUND;
  values.erase(values.begin() + (value - values.data()));
  return SaveValues(values) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}
