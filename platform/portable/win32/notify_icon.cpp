// The notification area: the icons' records, a taskbar that can refuse new icons, and its
// restart, after which every program has to add its icon again; what a person's clicks and
// keys on an icon send to its window, and whether its tooltip shows.
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

void ForgetTrayIcons() { icons.clear(); }

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
      // Each NIM_MODIFY says anew whether the standard tooltip is wanted.
      icon->uFlags = ((icon->uFlags | data->uFlags) & ~NIF_SHOWTIP) | (data->uFlags & NIF_SHOWTIP);
      return TRUE;
    case NIM_DELETE:
      if (icon == icons.end()) return FALSE;
      icons.erase(icon);
      return TRUE;
    case NIM_SETVERSION:
      if (icon == icons.end() || (data->uVersion != 0 && data->uVersion != 3 &&
                                  data->uVersion != NOTIFYICON_VERSION_4))
        return FALSE;
      icon->uVersion = data->uVersion;
      return TRUE;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
}

void PortableSetTrayFailing(bool fail) { failing = fail; }

void PortableRestartTaskbar() {
  desktop::ForgetTrayIcons();
  PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
}

const std::vector<NOTIFYICONDATAW>& PortableTrayIcons() { return icons; }

void PortableUseTrayIcon(HWND window, UINT id, PortableTrayInput input) {
  NOTIFYICONDATAW key = {};
  key.hWnd = window;
  key.uID = id;
  auto icon = Find(key);
  if (icon == icons.end() || !(icon->uFlags & NIF_MESSAGE)) return;
  std::vector<UINT> events;
  bool newer = icon->uVersion == NOTIFYICON_VERSION_4;
  switch (input) {
    case PortableTrayInput::LeftClick:
      events = {WM_LBUTTONDOWN, WM_LBUTTONUP};
      if (newer) events.push_back(NIN_SELECT);
      break;
    case PortableTrayInput::RightClick:
      events = {WM_RBUTTONDOWN, WM_RBUTTONUP};
      if (newer) events.push_back(WM_CONTEXTMENU);
      break;
    case PortableTrayInput::EnterKey:
      events = newer ? std::vector<UINT>{NIN_KEYSELECT}
                     : std::vector<UINT>{WM_RBUTTONDOWN, WM_RBUTTONUP};
      break;
    case PortableTrayInput::MenuKey:
      events = newer ? std::vector<UINT>{WM_CONTEXTMENU}
                     : std::vector<UINT>{WM_RBUTTONDOWN, WM_RBUTTONUP};
      break;
  }
  POINT at = {0, 0};
  GetCursorPos(&at);
  for (UINT event : events) {
    if (newer)
      PostMessageW(window, icon->uCallbackMessage, MAKEWPARAM(at.x, at.y), MAKELPARAM(event, id));
    else
      PostMessageW(window, icon->uCallbackMessage, id, event);
  }
}

bool PortableTrayTipShown(HWND window, UINT id) {
  NOTIFYICONDATAW key = {};
  key.hWnd = window;
  key.uID = id;
  auto icon = Find(key);
  if (icon == icons.end() || !(icon->uFlags & NIF_TIP) || !icon->szTip[0]) return false;
  return icon->uVersion != NOTIFYICON_VERSION_4 || (icon->uFlags & NIF_SHOWTIP);
}
