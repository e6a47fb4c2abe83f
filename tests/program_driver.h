// Drives the whole program inside the test process on the portable desktop: a fresh
// desktop, state, registry and lock directory per test; start-up with a command line;
// posted input; passes of the main loop; the exit sequence.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/startup.h"
#include "platform/portable/control/d3d11_control.h"
#include "platform/portable/control/desktop_control.h"
#include "platform/win32.h"
#include "render/renderer.h"
#include "shell/settings.h"
#include "tests/scratch_directory.h"

// Software rendering costs about a second per 1920 x 1080 frame, so tests that run loop
// passes use a small primary monitor unless they are about the monitor's geometry.
inline const RECT kSmallMonitor = {0, 0, 320, 180};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_.UseAsConfigHome();
    setenv("XDG_RUNTIME_DIR", scratch_.path().c_str(), 1);
    PortableResetFailures();
    PortableResetDesktop();
  }

  void TearDown() override {
    if (loop_.mutex) CloseHandle(loop_.mutex);  // fails harmlessly once the exit closed it
    ReleaseRenderer();
    gApp = AppState{};
    PortableResetDesktop();
    unsetenv("XDG_RUNTIME_DIR");
  }

  // Start-up with these options after the program path; true when the instance runs.
  bool Start(std::vector<std::string> options = {}) {
    std::vector<std::string> arguments = {"/opt/velmora/velmora"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    PortableSetArguments((int)argv.size(), argv.data());
    return StartProgram(GetModuleHandleW(nullptr), &loop_, &exitCode_);
  }

  // One pass of the main loop that must not end the program.
  void Pass() { ASSERT_TRUE(RunLoopPass(&loop_)) << "the program quit"; }

  // Takes and dispatches the queued messages as the loop's first step does, without
  // drawing; false if the quit message came (it is put back for the loop to find).
  bool Deliver() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage((int)msg.wParam);
        return false;
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return true;
  }

  // Posts to the main window and delivers it.
  void Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    PostMessageW(gApp.mainWindow, message, wParam, lParam);
    Deliver();
  }
  void Key(WPARAM key) { Post(WM_KEYDOWN, key); }

  // One tray-icon event as the notification area reports it with version 4.
  void TrayEvent(UINT event) {
    PostMessageW(gApp.trayWindow, WM_TRAYNOTIFY, 0, MAKELPARAM(event, 1));
    Deliver();
  }
  // A click or key on the tray icon, with every message the notification area sends for it.
  void UseTray(PortableTrayInput input) {
    PortableUseTrayIcon(gApp.trayWindow, 1, input);
    Deliver();
  }
  // Opens the tray menu by a click on the icon and chooses `id`.
  void ChooseFromTray(UINT id) {
    PortableScriptMenuChoice(id);
    UseTray(PortableTrayInput::LeftClick);
  }

  // Runs passes until the quit message has been taken and the exit sequence has run.
  int RunToExit(int passes = 5) {
    for (int i = 0; i < passes; ++i)
      if (!RunLoopPass(&loop_)) return ExitProgram(&loop_);
    return -1;
  }

  void Store(const wchar_t* name, DWORD value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name, REG_DWORD, &value, sizeof(value));
  }
  // The stored value, or -1 when none is stored.
  long long Stored(const wchar_t* name) {
    DWORD value = 0, size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
      return -1;
    return value;
  }

  // A REG_SZ value of the current user's, or "<none>" when there is none.
  static std::wstring StoredText(const wchar_t* key, const wchar_t* name) {
    wchar_t text[1024];
    DWORD size = sizeof(text);
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS)
      return L"<none>";
    return text;
  }

  static RECT WindowRect(HWND window) {
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(window, &rect);
    return rect;
  }
  static RECT ClientRect(HWND window) {
    RECT rect = {0, 0, 0, 0};
    GetClientRect(window, &rect);
    return rect;
  }

  // Shrinks the windowed window so that passes draw little.
  void ShrinkWindow() {
    SetWindowPos(gApp.mainWindow, nullptr, 0, 0, 336, 219, SWP_NOMOVE | SWP_NOZORDER);
  }

  ScratchDirectory scratch_;
  MainLoop loop_;
  int exitCode_ = -1;
};

inline std::string ReadFile(const std::string& path) {
  std::string text;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char buffer[256];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) text.append(buffer, n);
    std::fclose(file);
  }
  return text;
}

// An exit observer for death tests: what the ended process left on the desktop.
inline void ReportLeftovers(UINT) {
  std::fprintf(stderr, "icons=%zu wallpaper=%ls repaints=%d\n", PortableTrayIcons().size(),
               PortableWallpaperPath().c_str(), PortableDesktopRepaintCount());
}

inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::ostream& operator<<(std::ostream& out, const RECT& r) {
  return out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}
