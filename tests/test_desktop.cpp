// The portable desktop behaves as Windows does where the program relies on it: message
// order, frames and client sizes, monitors, the queue, the shell's windows, menus, the
// notification area, the named mutex and the termination signals.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/portable/desktop_control.h"
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
  std::vector<std::pair<HWND, UINT>> order;
  for (const Seen& s : seen)
    if (s.message == WM_DESTROY || s.message == WM_NCDESTROY) order.push_back({s.window, s.message});
  EXPECT_EQ(order, (std::vector<std::pair<HWND, UINT>>{{parent, WM_DESTROY},
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
  // Off every monitor: the nearest one.
  SetWindowPos(window, nullptr, 3000, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_EQ(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), primary);
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
  for (PortableShellLayout layout : {PortableShellLayout::Classic, PortableShellLayout::Nested}) {
    PortableResetDesktop(layout);
    HWND progman = FindWindowW(L"Progman", L"Program Manager");
    ASSERT_NE(progman, nullptr);
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
      EXPECT_NE(inside, nullptr);
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
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, owner);
  EXPECT_EQ(msg.message, (UINT)WM_COMMAND);
  EXPECT_EQ(msg.wParam, 20u);
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Desktop, NotificationAreaKeepsRecordsAndCanRestart) {
  HWND owner = Create(WS_POPUP, 0, 0, 1, 1);
  NOTIFYICONDATAW icon = {};
  icon.cbSize = sizeof(icon);
  icon.hWnd = owner;
  icon.uID = 1;
  icon.uFlags = NIF_TIP;
  wcscpy(icon.szTip, L"first");
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
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    if (msg.message == WM_CLOSE) closed.push_back(msg.hwnd);
  EXPECT_EQ(closed, (std::vector<HWND>{shown, wallpaper}));
  EXPECT_TRUE(IsWindow(hidden));
}

}  // namespace
