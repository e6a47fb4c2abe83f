// The portable desktop behaves as Windows does where the program relies on it: message
// order, frames and client sizes, monitors and display changes, the queue and held keys,
// the shell's windows and its end and restart, modal menus, the notification area's events
// and tooltip, the named mutex, the termination signals, the clock and the process exit.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/portable/control/desktop_control.h"
#include "platform/win32.h"
#include "tests/scratch_directory.h"

namespace {

struct Seen {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Seen> seen;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  seen.push_back({window, message, wParam, lParam});
  return DefWindowProcW(window, message, wParam, lParam);
}

std::vector<UINT> Messages(HWND window, std::initializer_list<UINT> kinds) {
  std::vector<UINT> result;
  for (const Seen& s : seen)
    if (s.window == window && std::find(kinds.begin(), kinds.end(), s.message) != kinds.end())
      result.push_back(s.message);
  return result;
}

// WM_DESTROY and WM_NCDESTROY as they arrived, with their windows.
std::vector<std::pair<HWND, UINT>> DestroyMessages() {
  std::vector<std::pair<HWND, UINT>> order;
  for (const Seen& s : seen)
    if (s.message == WM_DESTROY || s.message == WM_NCDESTROY) order.push_back({s.window, s.message});
  return order;
}

NOTIFYICONDATAW IconRecord(HWND owner, UINT id, UINT flags, const wchar_t* tip) {
  NOTIFYICONDATAW icon = {};
  icon.cbSize = sizeof(icon);
  icon.hWnd = owner;
  icon.uID = id;
  icon.uFlags = flags;
  wcscpy(icon.szTip, tip);
  return icon;
}

class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    PortableResetDesktop();
    seen.clear();
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.lpszClassName = L"Recorder";
    ASSERT_NE(RegisterClassExW(&windowClass), 0);
  }
  HWND Create(DWORD style, int x, int y, int w, int h, HWND parent = nullptr) {
    return CreateWindowExW(0, L"recorder", L"t", style, x, y, w, h, parent, nullptr, nullptr,
                           nullptr);
  }
};

TEST_F(Desktop, CreationAndDestructionFollowWindowsMessageOrder) {
  HWND parent = Create(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 20, 1296, 759);
  ASSERT_NE(parent, nullptr);
  EXPECT_EQ(Messages(parent, {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_SHOWWINDOW}),
            (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_SHOWWINDOW}));
  const Seen& size = *std::find_if(seen.begin(), seen.end(),
                                   [](const Seen& s) { return s.message == WM_SIZE; });
  EXPECT_EQ(LOWORD(size.lParam), 1280);
  EXPECT_EQ(HIWORD(size.lParam), 720);

  HWND child = Create(WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, parent);
  seen.clear();
  SendMessageW(parent, WM_CLOSE, 0, 0);  // the default procedure destroys the window
  EXPECT_EQ(DestroyMessages(), (std::vector<std::pair<HWND, UINT>>{{parent, WM_DESTROY},
                                                       {child, WM_DESTROY},
                                                       {child, WM_NCDESTROY},
                                                       {parent, WM_NCDESTROY}}));
  EXPECT_FALSE(IsWindow(parent));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(DestroyWindow(parent));
}

TEST_F(Desktop, FramesClientAreasAndCoordinates) {
  HWND parent = Create(WS_POPUP | WS_VISIBLE, 100, 200, 400, 300);
  HWND child = Create(WS_CHILD | WS_VISIBLE, 10, 20, 30, 40, parent);
  RECT rect;
  GetWindowRect(child, &rect);
  EXPECT_EQ(rect.left, 110);
  EXPECT_EQ(rect.top, 220);
  POINT point = {0, 0};
  ScreenToClient(child, &point);
  EXPECT_EQ(point.x, -110);
  EXPECT_EQ(point.y, -220);
  EXPECT_EQ(GetParent(child), parent);

  // A move alone sends no WM_SIZE; a new size does, with the client size.
  seen.clear();
  SetWindowPos(parent, nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_TRUE(Messages(parent, {WM_SIZE}).empty());
  SetWindowPos(parent, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER);
  ASSERT_EQ(Messages(parent, {WM_SIZE}).size(), 1u);
  EXPECT_EQ(seen.back().lParam, MAKELPARAM(640, 480));

  // Minimising reports SIZE_MINIMIZED with an empty client area.
  seen.clear();
  ShowWindow(parent, SW_MINIMIZE);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().message, (UINT)WM_SIZE);
  EXPECT_EQ(seen.back().wParam, (WPARAM)SIZE_MINIMIZED);
  EXPECT_EQ(seen.back().lParam, 0);
}

TEST_F(Desktop, MonitorsByPointAndByLargestOverlap) {
  PortableSetMonitors({{0, 0, 1920, 1080}, {-1280, 100, 0, 1124}});
  HMONITOR primary = MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY);
  HMONITOR left = MonitorFromPoint({-5, 500}, MONITOR_DEFAULTTONULL);
  ASSERT_NE(left, nullptr);
  EXPECT_NE(left, primary);
  EXPECT_EQ(MonitorFromPoint({5000, 5000}, MONITOR_DEFAULTTONULL), nullptr);
  EXPECT_EQ(MonitorFromPoint({5000, 5000}, MONITOR_DEFAULTTOPRIMARY), primary);

  // 700 pixels on the left monitor, 100 on the primary.
  HWND window = Create(WS_POPUP, -700, 200, 800, 400);
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info));
  EXPECT_EQ(info.rcMonitor.left, -1280);
  EXPECT_EQ(info.dwFlags, 0u);
  // Off every monitor: the nearest one, or none when asked so.
  SetWindowPos(window, nullptr, 3000, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_EQ(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), primary);
  const RECT farLeft = {-3000, 500, -2900, 600};
  EXPECT_EQ(MonitorFromRect(&farLeft, MONITOR_DEFAULTTONULL), nullptr);
  EXPECT_EQ(MonitorFromRect(&farLeft, MONITOR_DEFAULTTONEAREST), left);
  info.cbSize = 8;
  EXPECT_FALSE(GetMonitorInfoW(primary, &info));
}

TEST_F(Desktop, QueueOrderFiltersBroadcastAndQuit) {
  HWND a = Create(WS_POPUP, 0, 0, 1, 1);
  HWND b = Create(WS_POPUP, 0, 0, 1, 1);
  HWND child = Create(WS_CHILD, 0, 0, 1, 1, a);
  PostQuitMessage(3);
  PostMessageW(a, WM_USER, 1, 0);
  PostMessageW(b, WM_USER, 2, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, b, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, a);
  // The quit message comes after every posted message, once.
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, (UINT)WM_QUIT);
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));

  UINT registered = RegisterWindowMessageW(L"SomethingHappened");
  EXPECT_GE(registered, 0xC000u);
  EXPECT_EQ(RegisterWindowMessageW(L"somethinghappened"), registered);
  PostMessageW(HWND_BROADCAST, registered, 0, 0);
  std::vector<HWND> reached;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) reached.push_back(msg.hwnd);
  EXPECT_NE(std::find(reached.begin(), reached.end(), a), reached.end());
  EXPECT_NE(std::find(reached.begin(), reached.end(), b), reached.end());
  EXPECT_EQ(std::find(reached.begin(), reached.end(), child), reached.end());
  EXPECT_FALSE(PostMessageW((HWND)(uintptr_t)0x7777770, WM_USER, 0, 0));
}

TEST_F(Desktop, ShellLayouts) {
  for (PortableShellLayout layout : {PortableShellLayout::Classic, PortableShellLayout::Nested,
                                     PortableShellLayout::Raised}) {
    PortableResetDesktop(layout);
    HWND progman = FindWindowW(L"Progman", L"Program Manager");
    ASSERT_NE(progman, nullptr);
    // Only the raised desktop draws Progman without a redirection bitmap.
    EXPECT_EQ(GetWindowLongPtrW(progman, GWL_EXSTYLE),
              layout == PortableShellLayout::Raised ? WS_EX_NOREDIRECTIONBITMAP : 0);
    EXPECT_NE(FindWindowExW(progman, nullptr, L"SHELLDLL_DefView", nullptr), nullptr);
    EXPECT_EQ(FindWindowW(L"WorkerW", nullptr), nullptr);
    DWORD_PTR answer = 1;
    EXPECT_TRUE(SendMessageTimeoutW(progman, 0x052C, 0, 0, SMTO_NORMAL, 1000, &answer));
    HWND behind = FindWindowExW(nullptr, progman, L"WorkerW", nullptr);
    HWND inside = FindWindowExW(progman, nullptr, L"WorkerW", nullptr);
    if (layout == PortableShellLayout::Classic) {
      EXPECT_NE(behind, nullptr);
      EXPECT_EQ(inside, nullptr);
    } else {
      EXPECT_EQ(behind, nullptr);
      ASSERT_NE(inside, nullptr);
      EXPECT_EQ(FindWindowExW(progman, inside, nullptr, nullptr), nullptr);  // the bottom
    }
    // A second request makes no second worker window.
    SendMessageTimeoutW(progman, 0x052C, 0, 0, SMTO_NORMAL, 1000, nullptr);
    HWND any = behind ? behind : inside;
    EXPECT_EQ(FindWindowExW(behind ? nullptr : progman, any, L"WorkerW", nullptr), nullptr);
  }
  PortableResetDesktop(PortableShellLayout::None);
  EXPECT_EQ(FindWindowW(L"Progman", nullptr), nullptr);
}

TEST_F(Desktop, MenuChoiceReachesTheOwnerAsCommand) {
  HWND owner = Create(WS_POPUP, 0, 0, 1, 1);
  auto build = [] {
    HMENU menu = CreatePopupMenu();
    HMENU sub = CreatePopupMenu();
    AppendMenuW(sub, MF_STRING | MF_CHECKED, 20, L"Inner");
    AppendMenuW(menu, MF_STRING, 10, L"Outer");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_POPUP, (UINT_PTR)sub, L"Sub");
    return menu;
  };
  PortableScriptMenuChoice(20);
  PortableScriptMenuChoice(99);  // not in the menu: dismissed
  for (int round = 0; round < 2; ++round) {
    HMENU menu = build();
    EXPECT_TRUE(TrackPopupMenu(menu, TPM_RIGHTBUTTON, 7, 8, 0, owner, nullptr));
    DestroyMenu(menu);
  }
  EXPECT_EQ(PortableLiveMenuCount(), 0);
  // The first choice was posted; the second menu's own loop dispatched it.
  std::vector<WPARAM> commands;
  for (const Seen& s : seen)
    if (s.window == owner && s.message == WM_COMMAND) commands.push_back(s.wParam);
  EXPECT_EQ(commands, std::vector<WPARAM>{20});
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

// An owner that opens a menu whenever it receives WM_USER, as a tray icon's window would.
LRESULT CALLBACK MenuOpeningProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_USER) return DefWindowProcW(window, message, wParam, lParam);
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, 10, L"Item");
  SetLastError(ERROR_SUCCESS);
  seen.push_back({window, WM_USER, (WPARAM)TrackPopupMenu(menu, 0, 0, 0, 0, window, nullptr),
                  (LPARAM)GetLastError()});
  DestroyMenu(menu);
  return 0;
}

TEST_F(Desktop, MenuTrackingIsModalAndRefusesASecondMenu) {
  WNDCLASSEXW opener = {};
  opener.cbSize = sizeof(opener);
  opener.lpfnWndProc = MenuOpeningProc;
  opener.lpszClassName = L"Opener";
  RegisterClassExW(&opener);
  HWND owner = CreateWindowExW(0, L"Opener", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               nullptr, nullptr);
  // Two requests wait: the first opens a menu, whose loop takes the second while it is open.
  PostMessageW(owner, WM_USER, 0, 0);
  PostMessageW(owner, WM_USER, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  DispatchMessageW(&msg);
  ASSERT_EQ(seen.size(), 2u);
  // The inner call finished first: refused.
  EXPECT_EQ(seen[0].wParam, (WPARAM)FALSE);
  EXPECT_EQ(seen[0].lParam, (LPARAM)ERROR_POPUP_ALREADY_ACTIVE);
  EXPECT_EQ(seen[1].wParam, (WPARAM)TRUE);
  EXPECT_EQ(PortableTrackedMenus().size(), 1u);
  EXPECT_EQ(PortableRefusedMenuCount(), 1);
  // Once closed, the next menu opens.
  PostMessageW(owner, WM_USER, 0, 0);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  DispatchMessageW(&msg);
  EXPECT_EQ(PortableTrackedMenus().size(), 2u);
  EXPECT_EQ(PortableRefusedMenuCount(), 1);
}

TEST_F(Desktop, NotificationAreaKeepsRecordsAndCanRestart) {
  HWND owner = Create(WS_POPUP, 0, 0, 1, 1);
  NOTIFYICONDATAW icon = IconRecord(owner, 1, NIF_TIP, L"first");
  EXPECT_TRUE(Shell_NotifyIconW(NIM_ADD, &icon));
  EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &icon));
  wcscpy(icon.szTip, L"second");
  EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &icon));
  ASSERT_EQ(PortableTrayIcons().size(), 1u);
  EXPECT_STREQ(PortableTrayIcons()[0].szTip, L"second");
  NOTIFYICONDATAW unsized = icon;
  unsized.cbSize = 0;
  EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &unsized));

  PortableRestartTaskbar();
  EXPECT_TRUE(PortableTrayIcons().empty());
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, owner, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, RegisterWindowMessageW(L"TaskbarCreated"));

  PortableSetTrayFailing(true);
  EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &icon));
  EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &icon));
}

TEST_F(Desktop, IconEventsAndTooltipFollowTheIconsVersion) {
  HWND owner = Create(WS_POPUP, 0, 0, 1, 1);
  NOTIFYICONDATAW icon = IconRecord(owner, 7, NIF_MESSAGE | NIF_TIP, L"tip");
  icon.uCallbackMessage = WM_APP + 1;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &icon));
  PortableSetCursorPos({300, 200});
  auto events = [&](PortableTrayInput input) {
    PortableUseTrayIcon(owner, 7, input);
    std::vector<std::pair<WPARAM, LPARAM>> got;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      if (msg.message == WM_APP + 1) got.push_back({msg.wParam, msg.lParam});
    return got;
  };
  typedef std::vector<std::pair<WPARAM, LPARAM>> Events;
  // Version 0: the icon's identifier, then the mouse message; the keyboard acts as a
  // right click.
  EXPECT_EQ(events(PortableTrayInput::RightClick), (Events{{7, WM_RBUTTONDOWN}, {7, WM_RBUTTONUP}}));
  EXPECT_EQ(events(PortableTrayInput::EnterKey), (Events{{7, WM_RBUTTONDOWN}, {7, WM_RBUTTONUP}}));
  EXPECT_EQ(events(PortableTrayInput::LeftClick), (Events{{7, WM_LBUTTONDOWN}, {7, WM_LBUTTONUP}}));
  EXPECT_TRUE(PortableTrayTipShown(owner, 7));

  // Version 4: the anchor point, then the event and the identifier; each input ends in an
  // event of its own. The standard tooltip now needs NIF_SHOWTIP.
  icon.uVersion = 5;
  EXPECT_FALSE(Shell_NotifyIconW(NIM_SETVERSION, &icon));
  icon.uVersion = NOTIFYICON_VERSION_4;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_SETVERSION, &icon));
  WPARAM at = MAKEWPARAM(300, 200);
  EXPECT_EQ(events(PortableTrayInput::RightClick),
            (Events{{at, MAKELPARAM(WM_RBUTTONDOWN, 7)}, {at, MAKELPARAM(WM_RBUTTONUP, 7)},
                    {at, MAKELPARAM(WM_CONTEXTMENU, 7)}}));
  EXPECT_EQ(events(PortableTrayInput::LeftClick),
            (Events{{at, MAKELPARAM(WM_LBUTTONDOWN, 7)}, {at, MAKELPARAM(WM_LBUTTONUP, 7)},
                    {at, MAKELPARAM(NIN_SELECT, 7)}}));
  EXPECT_EQ(events(PortableTrayInput::EnterKey), (Events{{at, MAKELPARAM(NIN_KEYSELECT, 7)}}));
  EXPECT_EQ(events(PortableTrayInput::MenuKey), (Events{{at, MAKELPARAM(WM_CONTEXTMENU, 7)}}));
  EXPECT_FALSE(PortableTrayTipShown(owner, 7));
  icon.uFlags = NIF_TIP | NIF_SHOWTIP;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &icon));
  EXPECT_TRUE(PortableTrayTipShown(owner, 7));
  icon.uFlags = NIF_TIP;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &icon));
  EXPECT_FALSE(PortableTrayTipShown(owner, 7));

  // Without NIF_MESSAGE the icon tells its window nothing.
  NOTIFYICONDATAW silent = icon;
  silent.uID = 8;
  silent.uFlags = NIF_TIP;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &silent));
  PortableUseTrayIcon(owner, 8, PortableTrayInput::RightClick);
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

// Explorer ending: its windows go, and the program's window inside them with WM_DESTROY;
// a new shell brings its windows back and announces its taskbar.
TEST_F(Desktop, TheShellCanEndAndStartAgain) {
  HWND progman = FindWindowW(L"Progman", nullptr);
  SendMessageW(progman, 0x052C, 0, 0);
  HWND worker = FindWindowExW(nullptr, progman, L"WorkerW", nullptr);
  HWND wallpaper = Create(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, worker);
  HWND inner = Create(WS_CHILD | WS_VISIBLE, 0, 0, 5, 5, wallpaper);
  HWND alone = Create(WS_POPUP, 0, 0, 1, 1);
  NOTIFYICONDATAW icon = IconRecord(alone, 1, 0, L"");
  ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &icon));
  seen.clear();

  PortableEndShell();
  EXPECT_EQ(FindWindowW(L"Progman", nullptr), nullptr);
  EXPECT_EQ(FindWindowW(L"WorkerW", nullptr), nullptr);
  EXPECT_FALSE(IsWindow(wallpaper));
  EXPECT_FALSE(IsWindow(inner));
  EXPECT_TRUE(IsWindow(alone));
  EXPECT_TRUE(PortableTrayIcons().empty());
  EXPECT_EQ(DestroyMessages(), (std::vector<std::pair<HWND, UINT>>{{wallpaper, WM_DESTROY},
                                                       {inner, WM_DESTROY},
                                                       {inner, WM_NCDESTROY},
                                                       {wallpaper, WM_NCDESTROY}}));

  // The desktop may come back before the taskbar announces itself.
  MSG msg;
  PortableStartDesktopWindows(PortableShellLayout::Nested);
  progman = FindWindowW(L"Progman", nullptr);
  ASSERT_NE(progman, nullptr);
  EXPECT_NE(FindWindowExW(progman, nullptr, L"SHELLDLL_DefView", nullptr), nullptr);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  SendMessageW(progman, 0x052C, 0, 0);
  EXPECT_NE(FindWindowExW(progman, nullptr, L"WorkerW", nullptr), nullptr);
  PortableEndShell();
  // A shell still starting answers late: the request times out and is handled later.
  PortableSetShellBusy(true);
  PortableStartShell();
  progman = FindWindowW(L"Progman", nullptr);
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(SendMessageTimeoutW(progman, 0x052C, 0, 0, SMTO_NORMAL, 1000, nullptr));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_TIMEOUT);
  EXPECT_EQ(FindWindowW(L"WorkerW", nullptr), nullptr);
  PortableSetShellBusy(false);
  EXPECT_NE(FindWindowExW(nullptr, progman, L"WorkerW", nullptr), nullptr);
  ASSERT_TRUE(PeekMessageW(&msg, alone, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, RegisterWindowMessageW(L"TaskbarCreated"));
  EXPECT_NE(FindWindowW(L"Progman", nullptr), nullptr);
}

// The wallpaper set for good goes into the user's profile; one set for the session does not.
TEST_F(Desktop, TheWallpaperSetForGoodGoesIntoTheProfile) {
  ScratchDirectory config;
  config.UseAsConfigHome();
  wchar_t profile[64] = {};
  DWORD size = sizeof(profile);
  SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, (PVOID)L"/a.jpg", 0);
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"Wallpaper",
                         RRF_RT_REG_SZ, nullptr, profile, &size), ERROR_FILE_NOT_FOUND);
  SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, (PVOID)L"/b.jpg", SPIF_UPDATEINIFILE);
  RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"Wallpaper", RRF_RT_REG_SZ,
               nullptr, profile, &size);
  EXPECT_STREQ(profile, L"/b.jpg");
}

TEST_F(Desktop, ADisplayChangeStretchesTheShellAndTellsTopLevelWindows) {
  HWND top = Create(WS_POPUP, 0, 0, 1, 1);
  HWND child = Create(WS_CHILD, 0, 0, 1, 1, top);
  seen.clear();
  PortableSetMonitors({{0, 0, 2560, 1440}, {-1280, 0, 0, 1024}});
  std::vector<Seen> changes;
  for (const Seen& s : seen)
    if (s.message == WM_DISPLAYCHANGE) changes.push_back(s);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].window, top);
  EXPECT_EQ(changes[0].wParam, 32u);
  EXPECT_EQ(changes[0].lParam, MAKELPARAM(2560, 1440));
  EXPECT_TRUE(Messages(child, {WM_DISPLAYCHANGE}).empty());
  RECT rect;
  GetWindowRect(FindWindowW(L"Progman", nullptr), &rect);
  EXPECT_EQ(rect.left, -1280);
  EXPECT_EQ(rect.right, 2560);
  EXPECT_EQ(rect.bottom, 1440);
}

TEST_F(Desktop, AHeldKeyRepeatsToTheForegroundWindowAfterPostedMessages) {
  HWND first = Create(WS_POPUP | WS_VISIBLE, 0, 0, 1, 1);
  HWND second = Create(WS_POPUP | WS_VISIBLE, 0, 0, 1, 1);
  // Painted, so that the queue empties once the strokes are taken.
  ValidateRect(first, nullptr);
  ValidateRect(second, nullptr);
  SetForegroundWindow(first);
  PortableHoldKey('F', 2);
  PostMessageW(second, WM_USER, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, (UINT)WM_USER);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, first);
  EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN);
  EXPECT_EQ(msg.wParam, (WPARAM)'F');
  EXPECT_EQ(msg.lParam, 1);  // one stroke, not down before
  SetForegroundWindow(second);
  std::vector<std::pair<UINT, LPARAM>> rest;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    EXPECT_EQ(msg.hwnd, second);
    rest.push_back({msg.message, msg.lParam});
  }
  EXPECT_EQ(rest, (std::vector<std::pair<UINT, LPARAM>>{
                      {WM_KEYDOWN, 1 | (1 << 30)},
                      {WM_KEYDOWN, 1 | (1 << 30)},
                      {WM_KEYUP, (LPARAM)(1 | (1u << 30) | (1u << 31))}}));
  PortableHoldKey(VK_RETURN, 0, true);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, (UINT)WM_SYSKEYDOWN);
  EXPECT_EQ(msg.lParam, 1 | (1 << 29));
}

TEST(PortableClock, TheTickCountStandsAndAdvancesWithTheCounter) {
  PortableResetDesktop();
  PortableFreezeClock();
  ULONGLONG ticks = GetTickCount64();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  EXPECT_EQ(GetTickCount64(), ticks);
  PortableAdvanceClock(1.5);
  EXPECT_EQ(GetTickCount64(), ticks + 1500);
  PortableResetDesktop();
}

void ReportExit(UINT code) { std::fprintf(stderr, "observed exit %u\n", code); }

TEST(PortableExit, TheObserverSeesTheExitCode) {
  EXPECT_EXIT(
      {
        PortableSetExitObserver(ReportExit);
        ExitProcess(3);
      },
      ::testing::ExitedWithCode(3), "observed exit 3");
}

TEST(NamedMutex, IsHeldAcrossProcessesUntilClosed) {
  ScratchDirectory scratch;
  setenv("XDG_RUNTIME_DIR", scratch.path().c_str(), 1);
  HANDLE held = CreateMutexW(nullptr, TRUE, L"Velmora.Test");
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);

  auto otherProcessSees = [] {
    pid_t child = fork();
    if (child == 0) {
      HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Velmora.Test");
      _exit(mutex && GetLastError() == ERROR_ALREADY_EXISTS ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
  };
  EXPECT_TRUE(otherProcessSees());
  HANDLE again = CreateMutexW(nullptr, TRUE, L"Velmora.Test");
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(CloseHandle(again));
  EXPECT_TRUE(CloseHandle(held));
  EXPECT_FALSE(CloseHandle(held));
  EXPECT_FALSE(otherProcessSees());
  unsetenv("XDG_RUNTIME_DIR");
}

// Where the lock may live: only in a folder of this user that no one else can enter, and
// never through a link, whatever the environment names.
TEST(NamedMutex, LivesOnlyInAPrivateFolderAndFollowsNoLink) {
  ScratchDirectory runtime, shared, config;
  chmod(shared.path().c_str(), 01777);  // a shared folder such as /tmp
  config.UseAsConfigHome();
  setenv("TMPDIR", shared.path().c_str(), 1);
  struct Restore {
    ~Restore() { unsetenv("TMPDIR"); }
  } restore;
  const std::wstring name = L"Velmora.Test." + std::to_wstring(getpid());
  const std::string file = "mutex-" + PortableUtf8(name.c_str());
  const std::string ownFolder = shared / ("velmora-" + std::to_string(getuid()));
  auto exclusive = [&](const char* what) {
    HANDLE first = CreateMutexW(nullptr, TRUE, name.c_str());
    EXPECT_NE(first, nullptr) << what;
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS) << what;
    HANDLE second = CreateMutexW(nullptr, TRUE, name.c_str());
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS) << what;
    CloseHandle(second);
    CloseHandle(first);
  };

  // A runtime folder that does not exist is not made; a private one in the shared folder is.
  setenv("XDG_RUNTIME_DIR", (runtime / "missing").c_str(), 1);
  exclusive("missing runtime folder");
  EXPECT_FALSE(std::filesystem::exists(runtime / "missing"));
  struct stat info;
  ASSERT_EQ(lstat(ownFolder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(std::filesystem::exists(ownFolder + "/" + file));

  // A runtime folder that others may write is not used.
  chmod(runtime.path().c_str(), 0777);
  setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  exclusive("runtime folder open to all");
  EXPECT_FALSE(std::filesystem::exists(runtime / file));
  chmod(runtime.path().c_str(), 0700);

  // A link where the lock file would be is not followed: the lock moves on.
  std::filesystem::remove_all(ownFolder);
  symlink((runtime / "victim").c_str(), (runtime / file).c_str());
  exclusive("planted link");
  EXPECT_FALSE(std::filesystem::exists(runtime / "victim"));

  // Another user's folder, or a link, in the place of the private one in the shared folder
  // leaves the user's configuration folder.
  std::filesystem::remove_all(ownFolder);
  if (geteuid() == 0) {
    std::filesystem::create_directory(ownFolder);
    chown(ownFolder.c_str(), 65534, 65534);
    exclusive("squatted folder");
    EXPECT_FALSE(std::filesystem::exists(ownFolder + "/" + file));
    std::filesystem::remove(ownFolder);
  }
  symlink(runtime.path().c_str(), ownFolder.c_str());
  exclusive("link in the shared folder");
  EXPECT_TRUE(std::filesystem::exists(config / ("velmora/" + file)));
}

// Others may read the folder of the lock, not write it. The configuration folder, which is
// usually open to reading, takes the lock when the runtime and the shared folder are refused.
TEST(NamedMutex, TakesAFolderOfTheUsersThatNoOneElseCanWrite) {
  ScratchDirectory runtime, shared, config;
  config.UseAsConfigHome();
  chmod(runtime.path().c_str(), 0777);
  setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
  setenv("TMPDIR", shared.path().c_str(), 1);
  struct Restore {
    ~Restore() {
      unsetenv("TMPDIR");
      unsetenv("XDG_RUNTIME_DIR");
    }
  } restore;
  symlink(runtime.path().c_str(), (shared / ("velmora-" + std::to_string(getuid()))).c_str());
  const std::string folder = config / "velmora";
  std::filesystem::create_directory(folder);
  const std::wstring name = L"Velmora.Test." + std::to_wstring(getpid());
  const std::string file = folder + "/mutex-" + PortableUtf8(name.c_str());
  const struct {
    mode_t mode;
    bool used;
  } cases[] = {{0700, true},  {0750, true},  {0755, true},  {0705, true},
               {0770, false}, {0775, false}, {0757, false}, {01777, false}};
  for (const auto& c : cases) {
    chmod(folder.c_str(), c.mode);
    std::filesystem::remove(file);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
    EXPECT_EQ(mutex != nullptr, c.used) << std::oct << c.mode;
    EXPECT_EQ(GetLastError(), c.used ? (DWORD)ERROR_SUCCESS : (DWORD)ERROR_ACCESS_DENIED)
        << std::oct << c.mode;
    EXPECT_EQ(std::filesystem::exists(file), c.used) << std::oct << c.mode;
    if (mutex) CloseHandle(mutex);
  }
  EXPECT_TRUE(std::filesystem::is_empty(runtime.path()));
}

TEST_F(Desktop, TerminationSignalClosesTheProgramsVisibleWindows) {
  HWND shown = Create(WS_POPUP | WS_VISIBLE, 0, 0, 1, 1);
  HWND hidden = Create(WS_POPUP, 0, 0, 1, 1);
  HWND progman = FindWindowW(L"Progman", nullptr);
  SendMessageW(progman, 0x052C, 0, 0);
  HWND wallpaper = Create(WS_CHILD | WS_VISIBLE, 0, 0, 1, 1,
                          FindWindowExW(nullptr, progman, L"WorkerW", nullptr));
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the handlers are in place from here
  raise(SIGINT);
  std::vector<HWND> closed;
  // Only the close requests: the shown windows also wait for paint, which a filter passes by.
  while (PeekMessageW(&msg, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE)) closed.push_back(msg.hwnd);
  EXPECT_EQ(closed, (std::vector<HWND>{shown, wallpaper}));
  EXPECT_TRUE(IsWindow(hidden));
}

TEST_F(Desktop, TopmostWindowsKeepToTheirBandAndMessageBoxesOpenAsOnWindows) {
  HWND topmost = CreateWindowExW(WS_EX_TOPMOST, L"recorder", L"t", WS_POPUP | WS_VISIBLE, 0, 0, 9,
                                 9, nullptr, nullptr, nullptr, nullptr);
  HWND normal = Create(WS_POPUP | WS_VISIBLE, 0, 0, 9, 9);
  auto order = [&]() {
    std::vector<HWND> result;
    for (HWND w = FindWindowExW(nullptr, nullptr, L"recorder", nullptr); w;
         w = FindWindowExW(nullptr, w, L"recorder", nullptr))
      result.push_back(w);
    return result;
  };
  // Created later, yet below the topmost window; HWND_TOP keeps it in its band.
  EXPECT_EQ(order(), (std::vector<HWND>{topmost, normal}));
  SetWindowPos(normal, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(order(), (std::vector<HWND>{topmost, normal}));
  SetWindowPos(normal, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(order(), (std::vector<HWND>{normal, topmost}));
  SetWindowPos(normal, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(order(), (std::vector<HWND>{topmost, normal}));
  EXPECT_EQ(GetWindowLongPtrW(normal, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);

  ::testing::internal::CaptureStderr();
  MessageBoxW(nullptr, L"below", L"box", MB_ICONERROR);
  MessageBoxW(nullptr, L"above", L"box", MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
  MessageBoxW(topmost, L"owned", L"box", MB_OK);
  ShowWindow(topmost, SW_HIDE);
  MessageBoxW(nullptr, L"nothing above", L"box", MB_OK);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "box: below\nbox: above\nbox: owned\nbox: nothing above\n");
  const std::vector<PortableMessageBox>& boxes = PortableMessageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].coveredBy, (std::vector<HWND>{topmost}));
  EXPECT_FALSE(boxes[0].foreground) << "the shell has the foreground";
  EXPECT_TRUE(boxes[1].coveredBy.empty());
  EXPECT_TRUE(boxes[1].foreground);
  EXPECT_TRUE(boxes[2].coveredBy.empty()) << "a topmost owner makes the box topmost";
  EXPECT_TRUE(boxes[3].coveredBy.empty());

  // HWND_BOTTOM takes a topmost window out of its band.
  SetWindowPos(topmost, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(GetWindowLongPtrW(topmost, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

LRESULT CALLBACK SwallowingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) return 0;
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(Desktop, PaintComesLastAndUntilTheWindowIsValidated) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = SwallowingProc;
  windowClass.lpszClassName = L"Swallower";
  ASSERT_NE(RegisterClassExW(&windowClass), 0);
  HWND swallower = CreateWindowExW(0, L"Swallower", L"", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr,
                                   nullptr, nullptr, nullptr);
  HWND hidden = Create(WS_POPUP, 0, 0, 9, 9);
  HWND shown = Create(WS_POPUP | WS_VISIBLE, 0, 0, 9, 9);
  PostMessageW(shown, WM_APP, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, (UINT)WM_APP) << "posted messages come before paint";
  // A window that ignores WM_PAINT gets it for ever; DefWindowProcW or ValidateRect ends it.
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(PeekMessageW(&msg, swallower, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_PAINT);
    DispatchMessageW(&msg);
  }
  ValidateRect(swallower, nullptr);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, shown);
  DispatchMessageW(&msg);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "hidden and shell windows wait too";
  // Restoring, resizing and exposing invalidate again.
  ShowWindow(shown, SW_MINIMIZE);
  ShowWindow(shown, SW_RESTORE);
  EXPECT_TRUE(PeekMessageW(&msg, shown, WM_PAINT, WM_PAINT, PM_NOREMOVE));
  ValidateRect(shown, nullptr);
  SetWindowPos(shown, nullptr, 0, 0, 20, 20, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(PeekMessageW(&msg, shown, WM_PAINT, WM_PAINT, PM_NOREMOVE));
  ValidateRect(shown, nullptr);
  PortableExposeWindow(hidden);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(Desktop, MessageWaitsWakeOnlyForNewInput) {
  HWND window = Create(WS_POPUP, 0, 0, 9, 9);
  auto wait = [](DWORD milliseconds, double* seconds) {
    auto started = std::chrono::steady_clock::now();
    DWORD result = MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
  };
  double seconds = 0;
  PostMessageW(window, WM_APP, 0, 0);
  EXPECT_EQ(wait(1000, &seconds), (DWORD)WAIT_OBJECT_0);
  EXPECT_LT(seconds, 0.5);
  // Still in the queue, but no longer new: the wait runs its time.
  EXPECT_EQ(wait(60, &seconds), (DWORD)WAIT_TIMEOUT);
  EXPECT_GE(seconds, 0.055);
  MSG msg;
  PostMessageW(window, WM_APP, 1, 0);
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  EXPECT_EQ(wait(30, &seconds), (DWORD)WAIT_TIMEOUT) << "a look at the queue makes it old";
  PostQuitMessage(0);
  EXPECT_EQ(wait(1000, &seconds), (DWORD)WAIT_OBJECT_0);
  HWND shown = Create(WS_POPUP | WS_VISIBLE, 0, 0, 9, 9);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(wait(1000, &seconds), (DWORD)WAIT_OBJECT_0) << "paint wakes";
  PortableHoldKey('T', 0);
  EXPECT_EQ(wait(1000, &seconds), (DWORD)WAIT_OBJECT_0) << "a key stroke wakes";
  HANDLE none = nullptr;
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &none, FALSE, 0, QS_ALLINPUT), WAIT_FAILED);
}

LONGLONG Counter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// On a frozen clock a wait for a timer moves the clock to its due time, unless a message
// came first; a signalled timer comes before a message. A synchronization timer resets when
// a wait takes it, a manual-reset one stays signalled, a periodic one fires again.
TEST_F(Desktop, WaitsForTimersAndMessagesInWindowsOrder) {
  HWND window = Create(WS_POPUP, 0, 0, 9, 9);
  PortableFreezeClock();
  auto wait = [](HANDLE timer, DWORD milliseconds) {
    return MsgWaitForMultipleObjects(1, &timer, FALSE, milliseconds, QS_ALLINPUT);
  };
  const struct {
    BOOL manualReset;
    LONG period;
    DWORD taken;  // what a wait that may not wait finds once a wait took the timer
  } kinds[] = {{FALSE, 0, WAIT_TIMEOUT}, {TRUE, 0, WAIT_OBJECT_0}, {FALSE, 10, WAIT_TIMEOUT}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(testing::Message() << "manual " << k.manualReset << ", period " << k.period);
    HANDLE timer = CreateWaitableTimerW(nullptr, k.manualReset, nullptr);
    ASSERT_NE(timer, nullptr);
    LARGE_INTEGER due;
    due.QuadPart = -25000;  // 2.5 ms
    ASSERT_TRUE(SetWaitableTimer(timer, &due, k.period, nullptr, nullptr, FALSE));
    LONGLONG set = Counter();
    PostMessageW(window, WM_APP, 0, 0);
    EXPECT_EQ(wait(timer, INFINITE), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(Counter(), set) << "the message came first";
    EXPECT_EQ(wait(timer, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(Counter() - set, 2500000);
    EXPECT_EQ(wait(timer, 0), k.taken);
    PostMessageW(window, WM_APP, 0, 0);
    EXPECT_EQ(wait(timer, 0), k.taken == WAIT_OBJECT_0 ? WAIT_OBJECT_0 : WAIT_OBJECT_0 + 1)
        << "a signalled timer comes before a message";
    if (k.period) {
      EXPECT_EQ(wait(timer, INFINITE), WAIT_OBJECT_0);
      EXPECT_EQ(Counter() - set, 12500000);
    }
    ASSERT_TRUE(CancelWaitableTimer(timer));
    EXPECT_EQ(wait(timer, 10), k.taken) << "cancelled: nothing comes, the state stays";
    EXPECT_EQ(Counter() - set, k.period ? 12500000 : 2500000);
    ASSERT_TRUE(CloseHandle(timer));
    EXPECT_EQ(wait(timer, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE));
  }
}

// Windows before version 1803 refuse the high-resolution flag as they refuse unknown ones.
TEST_F(Desktop, TimerCreationRefusesWhatWindowsRefuses) {
  for (bool olderWindows : {true, false}) {
    PortableRefuseHighResolutionTimers(olderWindows);
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
    EXPECT_EQ(timer == nullptr, olderWindows);
    EXPECT_EQ(GetLastError(), olderWindows ? (DWORD)ERROR_INVALID_PARAMETER : ERROR_SUCCESS);
    if (timer) CloseHandle(timer);
  }
  EXPECT_EQ(CreateWaitableTimerExW(nullptr, nullptr, 0x4, TIMER_ALL_ACCESS), nullptr);
}

// Each monitor names its device and has one mode, with the refresh rate the display
// settings report (0 and 1 stand for the hardware's default).
TEST_F(Desktop, MonitorsNameTheirDeviceAndReportTheirRefreshRate) {
  PortableSetMonitors({{0, 0, 1920, 1080}, {1920, 0, 4480, 1440}}, {144});
  const struct {
    POINT at;
    const wchar_t* device;
    DWORD width, refresh;
  } monitors[] = {{{10, 10}, L"\\\\.\\DISPLAY1", 1920, 144},
                  {{2000, 10}, L"\\\\.\\DISPLAY2", 2560, 60}};
  for (const auto& m : monitors) {
    MONITORINFOEXW info = {};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint(m.at, MONITOR_DEFAULTTONULL), &info));
    EXPECT_STREQ(info.szDevice, m.device);
    DEVMODEW mode = {};
    mode.dmSize = sizeof(mode);
    ASSERT_TRUE(EnumDisplaySettingsW(m.device, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(mode.dmPelsWidth, m.width);
    EXPECT_EQ(mode.dmDisplayFrequency, m.refresh);
    EXPECT_FALSE(EnumDisplaySettingsW(m.device, 1, &mode)) << "one mode each";
  }
  DEVMODEW mode = {};
  mode.dmSize = sizeof(mode);
  ASSERT_TRUE(EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode));
  EXPECT_EQ(mode.dmDisplayFrequency, 144u) << "without a name, the primary monitor";
  EXPECT_FALSE(EnumDisplaySettingsW(L"\\\\.\\DISPLAY3", ENUM_CURRENT_SETTINGS, &mode));
  MONITORINFOEXW info = {};
  info.cbSize = sizeof(MONITORINFO) + 4;
  EXPECT_FALSE(GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &info));
}

}  // namespace

// The attributes of a layered window are there to read only once set, and only while the
// window stays layered; a window that is not layered takes none.
TEST_F(Desktop, LayeredAttributesLiveWhileTheWindowIsLayered) {
  HWND window = Create(WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  BYTE alpha = 0;
  EXPECT_FALSE(SetLayeredWindowAttributes(window, 0, 128, LWA_ALPHA));
  SetWindowLongPtrW(window, GWL_EXSTYLE, WS_EX_LAYERED);
  EXPECT_FALSE(GetLayeredWindowAttributes(window, nullptr, &alpha, nullptr));
  ASSERT_TRUE(SetLayeredWindowAttributes(window, 0, 128, LWA_ALPHA));
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(window, nullptr, &alpha, &flags));
  EXPECT_EQ(alpha, 128);
  EXPECT_EQ(flags, (DWORD)LWA_ALPHA);
  SetWindowLongPtrW(window, GWL_EXSTYLE, 0);
  SetWindowLongPtrW(window, GWL_EXSTYLE, WS_EX_LAYERED);
  EXPECT_FALSE(GetLayeredWindowAttributes(window, nullptr, &alpha, nullptr));
}
