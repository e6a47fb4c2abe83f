// Popup menus. Tracking is modal: the messages that wait while the menu is open are
// dispatched inside it, and no second menu can open meanwhile. A scripted choice stands for
// a person's click; it reaches the owner as a posted WM_COMMAND, as it does when the menu
// closes on Windows.
#include <deque>
#include <map>

#include "win32/desktop_internal.h"
#include "win32/kernel.h"

namespace {

struct Item {
  UINT flags;
  UINT_PTR id;
  std::wstring text;
};

std::map<HMENU, std::vector<Item>> menus;
uintptr_t nextMenu = 0x30000;
std::deque<UINT> choices;
std::vector<PortableTrackedMenu> tracked;
bool tracking = false;
int refused = 0;

// The menu's own loop while it stands open: everything already waiting is dispatched. A
// quit message closes the menu and is left for the program's loop.
void RunMenuLoop() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage((int)msg.wParam);
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

std::vector<PortableMenuItem> Snapshot(HMENU menu) {
  std::vector<PortableMenuItem> result;
  for (const Item& item : menus[menu]) {
    PortableMenuItem copy;
    copy.flags = item.flags;
    copy.text = item.text;
    if (item.flags & MF_POPUP)
      copy.submenu = Snapshot((HMENU)item.id);
    else
      copy.id = (UINT)item.id;
    result.push_back(copy);
  }
  return result;
}

bool Offers(HMENU menu, UINT id) {
  for (const Item& item : menus[menu]) {
    if (item.flags & MF_POPUP) {
      if (Offers((HMENU)item.id, id)) return true;
    } else if (!(item.flags & MF_SEPARATOR) && item.id == id) {
      return true;
    }
  }
  return false;
}

}  // namespace

namespace desktop {

void ResetMenus() {
  menus.clear();
  choices.clear();
  tracked.clear();
  tracking = false;
  refused = 0;
}

}  // namespace desktop

HMENU CreatePopupMenu() {
  HMENU menu = (HMENU)nextMenu;
  nextMenu += 4;
  menus[menu];
  return menu;
}

BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR idNewItem, LPCWSTR newItem) {
  if (!menus.count(menu) || ((flags & MF_POPUP) && !menus.count((HMENU)idNewItem))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::wstring text = (flags & MF_SEPARATOR) || !newItem ? L"" : newItem;
  menus[menu].push_back({flags, (flags & MF_SEPARATOR) ? 0 : idNewItem, text});
  return TRUE;
}

BOOL DestroyMenu(HMENU menu) {
  auto found = menus.find(menu);
  if (found == menus.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<Item> items = found->second;
  menus.erase(found);
  for (const Item& item : items)
    if (item.flags & MF_POPUP) DestroyMenu((HMENU)item.id);
  return TRUE;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND window, const RECT*) {
  if (!menus.count(menu) || !IsWindow(window)) {
    SetLastError(menus.count(menu) ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (tracking) {
    ++refused;
    SetLastError(ERROR_POPUP_ALREADY_ACTIVE);
    return FALSE;
  }
  tracked.push_back({window, flags, {x, y}, Snapshot(menu)});
  tracking = true;
  RunMenuLoop();
  tracking = false;
  if (!menus.count(menu)) return FALSE;  // destroyed while it was open
  UINT choice = 0;
  if (!choices.empty()) {
    choice = choices.front();
    choices.pop_front();
  }
  if (choice && !Offers(menu, choice)) choice = 0;
  if (flags & TPM_RETURNCMD) return (BOOL)choice;
  if (choice) PostMessageW(window, WM_COMMAND, choice, 0);
  return TRUE;
}

void PortableScriptMenuChoice(UINT id) { choices.push_back(id); }
const std::vector<PortableTrackedMenu>& PortableTrackedMenus() { return tracked; }
int PortableLiveMenuCount() { return (int)menus.size(); }
int PortableRefusedMenuCount() { return refused; }
