// The process's command line as Windows keeps it: one string, quoted so that the
// shell's splitting rules give the original arguments back.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "win32/kernel.h"

namespace {

std::wstring gCommandLine;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// An argument after the program's path: bare when nothing in it needs protecting,
// otherwise in quotes with every quote escaped and every run of backslashes that ends up
// before a quote doubled.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

// Splits by the shell's rules. The program's path (argument 0) is read plainly: up to
// the closing quote when it starts with one, else up to the first blank; backslashes
// mean nothing there. In the other arguments, 2n backslashes before a quote give n and
// the quote opens or closes a quoted part, 2n+1 give n and a literal quote, other
// backslashes are literal, and inside quotes a doubled quote gives one.
std::vector<std::wstring> SplitCommandLine(const wchar_t* s) {
  std::vector<std::wstring> arguments(1);
  if (*s == L'"') {
    ++s;
    while (*s != L'\0' && *s != L'"') arguments[0] += *s++;
    if (*s == L'"') ++s;
  } else {
    while (*s != L'\0' && !IsBlank(*s)) arguments[0] += *s++;
  }

  while (true) {
    while (IsBlank(*s)) ++s;
    if (*s == L'\0') break;
    std::wstring argument;
    bool quoted = false;
    while (*s != L'\0' && (quoted || !IsBlank(*s))) {
      size_t backslashes = 0;
      while (*s == L'\\') {
        ++backslashes;
        ++s;
      }
      if (*s == L'"') {
        argument.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
          argument += L'"';
        } else if (quoted && s[1] == L'"') {
          argument += L'"';
          ++s;
        } else {
          quoted = !quoted;
        }
        ++s;
      } else {
        argument.append(backslashes, L'\\');
        if (backslashes == 0) argument += *s++;
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

}  // namespace

void PortableSetArguments(int argc, char** argv) {
  gCommandLine.clear();
  for (int i = 0; i < argc; ++i) {
    std::wstring argument = PortableWide(argv[i]);
    if (i == 0) {
      // A path on Windows cannot hold a quote, and argument 0 has no way to escape one;
      // dropping it keeps the rest of the path from turning into options.
      std::erase(argument, L'"');
      gCommandLine += L'"' + argument + L'"';
    } else {
      gCommandLine += L' ';
      AppendQuoted(gCommandLine, argument);
    }
  }
}

LPWSTR GetCommandLineW() { return gCommandLine.data(); }

LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* argumentCount) {
  if (!argumentCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<std::wstring> arguments;
  if (!commandLine || *commandLine == L'\0') {
    // As on Windows, an empty line stands for the program itself.
    wchar_t path[4096] = L"";
    GetModuleFileNameW(nullptr, path, 4096);
    arguments.emplace_back(path);
  } else {
    arguments = SplitCommandLine(commandLine);
  }

  // One block that LocalFree releases whole: the pointer array, then the strings.
  size_t pointerBytes = (arguments.size() + 1) * sizeof(LPWSTR);
  size_t textChars = 0;
  for (const std::wstring& argument : arguments) textChars += argument.size() + 1;
  char* block = (char*)std::malloc(pointerBytes + textChars * sizeof(wchar_t));
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  LPWSTR* pointers = (LPWSTR*)block;
  wchar_t* text = (wchar_t*)(block + pointerBytes);
  for (size_t i = 0; i < arguments.size(); ++i) {
    pointers[i] = text;
    std::memcpy(text, arguments[i].c_str(), (arguments[i].size() + 1) * sizeof(wchar_t));
    text += arguments[i].size() + 1;
  }
  pointers[arguments.size()] = nullptr;
  *argumentCount = (int)arguments.size();
  return pointers;
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}
