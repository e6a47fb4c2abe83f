// The notification area: the icons' records, a taskbar that can refuse new icons, and its
// restart, after which every program has to add its icon again.
#include <algorithm>

#include "win32/desktop_internal.h"
#include "win32/kernel.h"

namespace {

std::vector<NOTIFYICONDATAW> icons;
bool failing = false;

std::vector<NOTIFYICONDATAW>::iterator Find(const NOTIFYICONDATAW& data) {
  return std::find_if(icons.begin(), icons.end(), [&](const NOTIFYICONDATAW& icon) {
    return icon.hWnd == data.hWnd && icon.uID == data.uID;
  });
}

}  // namespace

namespace desktop {

void ResetTray() {
  icons.clear();
  failing = false;
}

}  // namespace desktop

BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data) {
  if (!data || data->cbSize != sizeof(NOTIFYICONDATAW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto icon = Find(*data);
  switch (message) {
    case NIM_ADD:
      if (failing || icon != icons.end() || !IsWindow(data->hWnd)) return FALSE;
      icons.push_back(*data);
      return TRUE;
    case NIM_MODIFY:
      if (icon == icons.end()) return FALSE;
      if (data->uFlags & NIF_MESSAGE) icon->uCallbackMessage = data->uCallbackMessage;
      if (data->uFlags & NIF_ICON) icon->hIcon = data->hIcon;
      if (data->uFlags & NIF_TIP) std::copy(data->szTip, data->szTip + 128, icon->szTip);
      return TRUE;
    case NIM_DELETE:
      if (icon == icons.end()) return FALSE;
      icons.erase(icon);
      return TRUE;
    case NIM_SETVERSION:
      if (icon == icons.end()) return FALSE;
      icon->uVersion = data->uVersion;
      return TRUE;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
}

void PortableSetTrayFailing(bool fail) { failing = fail; }

void PortableRestartTaskbar() {
  icons.clear();
  PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
}

const std::vector<NOTIFYICONDATAW>& PortableTrayIcons() { return icons; }
