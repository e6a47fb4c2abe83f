// Message boxes without a screen: the box's caption and text go to standard error, and the
// user's answer is always the OK button.
#include <cstdio>

#include "win32/kernel.h"
#include "win32/user32.h"

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
  std::string line = PortableUtf8(caption ? caption : L"") + ": " + PortableUtf8(text ? text : L"");
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  return IDOK;
}
