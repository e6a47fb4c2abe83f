// The portable desktop's own records, shared by its files (windows, queue, shell, menus).
#pragma once

#include "layer_only.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "control/desktop_control.h"
#include "win32/user32.h"

namespace desktop {

struct WindowClass {
  std::wstring name;
  UINT style = 0;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  HCURSOR cursor = nullptr;
  bool shell = false;  // one of the desktop shell's classes, not the program's
};

struct Window {
  HWND handle = nullptr;
  WindowClass windowClass;
  std::wstring title;
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND parent = nullptr;  // set only for WS_CHILD windows; top-level windows have none
  RECT rect = {0, 0, 0, 0};  // in the parent's client coordinates, screen for top-level
  RECT normalRect = {0, 0, 0, 0};  // where a minimised window goes back to
  std::vector<HWND> children;  // Z order, topmost first
  bool destroying = false;
  bool invalid = false;  // needs painting: WM_PAINT comes until it is validated
  // SetLayeredWindowAttributes' values while WS_EX_LAYERED stays set.
  bool layeredSet = false;
  COLORREF layeredKey = 0;
  BYTE layeredAlpha = 255;
  DWORD layeredFlags = 0;
  // The program that owns the window: 0 for this one, else another process's id (the
  // shell's, or one a test names).
  DWORD process = 0;
  DWORD cloaked = 0;  // DWM_CLOAKED_* reasons, 0 while the compositor shows it
};

// The shell's process: above every POSIX process id, so never this program's.
inline constexpr DWORD kShellProcess = 0x7FFF0001;

struct Desktop {
  std::vector<RECT> monitors = {{0, 0, 1920, 1080}};
  std::vector<WindowClass> classes;
  std::map<HWND, std::unique_ptr<Window>> windows;
  std::vector<HWND> topLevel;  // Z order, topmost first
  std::vector<HWND> created;   // creation order, for the program-window listing
  uintptr_t nextHandle = 0x20000;
  HWND foreground = nullptr;
  POINT cursorPos = {100, 100};
  HCURSOR cursor = nullptr;
  PortableShellLayout layout = PortableShellLayout::Classic;
  HWND worker = nullptr;  // the worker window that Progman made, once asked
  bool endShellAtNextParent = false;
  std::vector<DWORD> refreshRates;  // per monitor, as far as given; the others refresh at 60
  bool secureDesktop = false;       // the lock screen or another secure desktop is shown
};

Desktop& State();
Window* Find(HWND window);
// The Z-ordered sibling list that holds the window (the top-level list or its parent's).
std::vector<HWND>& Siblings(Window& window);
RECT VirtualScreen();
// Class and message names compare without regard to case, as on Windows.
bool SameName(const std::wstring& a, const wchar_t* b);

// Marks the window as needing paint (only the program's visible windows get WM_PAINT).
void Invalidate(HWND window);
// Something arrived that MsgWaitForMultipleObjects wakes for.
void NoteNewInput();

// The shell's part of a reset: its classes and windows for the current layout and monitors.
void BuildShell();
// "Progman" holding "SHELLDLL_DefView", at the bottom of the Z order, unless the layout
// has no shell.
void CreateDesktopWindows();
// The notification area's icons are gone, as when the taskbar ends.
void ForgetTrayIcons();
// From the process's start, SIGINT, SIGTERM and SIGHUP close the program's windows instead
// of killing it.
void InstallSignalHandlers();
// A termination signal has come that no window has taken yet; until one does, the
// process's file writes are abandoned (files.h).
bool TerminationPending();
// The process that owns the window, as GetWindowThreadProcessId reports it.
DWORD ProcessOf(const Window& window);
// An event for the hooks whose range and filters take it (win_events.cpp).
void RaiseWinEvent(DWORD event, HWND window);
// Work another thread hands to the program's thread (a sent message, an out-of-context
// event): done when the thread next takes messages, and it wakes a message wait.
void QueueIncoming(std::function<void()> work);
// With the clock frozen and waits made virtual, a wait that nothing ends early passes at
// once and moves the clock on by its time-out: true when it did.
bool PassWaitVirtually(DWORD milliseconds);
// Reset of the other files' state.
void ResetQueue();
void ResetMenus();
void ResetTray();
void ResetWallpaper();
void ResetMessageBoxes();
void ResetWinEvents();
void ResetSystemNotices();
void ResetOtherPrograms();

}  // namespace desktop
