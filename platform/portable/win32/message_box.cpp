// Message boxes without a screen: the box's caption and text go to standard error, where
// Windows would have placed the box is recorded, and the user's answer is always OK.
#include <cstdio>

#include "win32/desktop_internal.h"
#include "win32/kernel.h"

namespace {

std::vector<PortableMessageBox> boxes;

// A box opens at the top of its band: among the topmost windows with MB_TOPMOST or a
// topmost owner, else below every topmost window.
std::vector<HWND> WindowsAbove(HWND owner, UINT type) {
  desktop::Window* root = desktop::Find(owner);
  while (root && desktop::Find(root->parent)) root = desktop::Find(root->parent);
  bool topmost = (type & MB_TOPMOST) || (root && (root->exStyle & WS_EX_TOPMOST));
  std::vector<HWND> above;
  if (topmost) return above;
  for (HWND handle : desktop::State().topLevel) {
    desktop::Window* window = desktop::Find(handle);
    if ((window->exStyle & WS_EX_TOPMOST) && IsWindowVisible(handle)) above.push_back(handle);
  }
  return above;
}

}  // namespace

namespace desktop {

void ResetMessageBoxes() { boxes.clear(); }

}  // namespace desktop

const std::vector<PortableMessageBox>& PortableMessageBoxes() { return boxes; }

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  PortableMessageBox box;
  box.caption = caption ? caption : L"";
  box.text = text ? text : L"";
  box.type = type;
  box.coveredBy = WindowsAbove(owner, type);
  // Without MB_SETFOREGROUND the box is only activated, which makes it the foreground
  // window when the program already has the foreground.
  desktop::Window* foreground = desktop::Find(GetForegroundWindow());
  box.foreground = (type & MB_SETFOREGROUND) || (foreground && !foreground->windowClass.shell);
  boxes.push_back(box);
  std::string line = PortableUtf8(box.caption.c_str()) + ": " + PortableUtf8(box.text.c_str());
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  return IDOK;
}
