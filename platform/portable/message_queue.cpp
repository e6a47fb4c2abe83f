// The thread's message queue, sent and posted messages, the default window procedure, and
// the termination signals, which close the program's windows the way a user would.
#include <csignal>
#include <deque>

#include "platform/portable/desktop_internal.h"
#include "platform/portable/files.h"
#include "platform/portable/kernel.h"

namespace {

std::deque<MSG> queue;
bool quitPosted = false;
int quitCode = 0;
std::vector<std::wstring> registeredMessages;

// Set by the signal handler, which may do little else safely; the queue turns it into
// WM_CLOSE messages the next time the program looks for messages.
volatile std::sig_atomic_t closeRequested = 0;

void OnTerminationSignal(int) {
  closeRequested = 1;
  PortableRemoveTemporaryFiles();
}

// Before anything of the program runs, so that a request in its first moments is not lost.
const bool kHandlersInstalled = (desktop::InstallSignalHandlers(), true);

// The program's visible windows that stand on their own (top-level, or children of the
// shell's windows, as the wallpaper is) get WM_CLOSE. Until one exists the request waits.
void DeliverCloseRequest() {
  if (!closeRequested) return;
  bool delivered = false;
  for (HWND handle : PortableProgramWindows()) {
    desktop::Window* window = desktop::Find(handle);
    desktop::Window* parent = desktop::Find(window->parent);
    if (IsWindowVisible(handle) && (!parent || parent->windowClass.shell)) {
      PostMessageW(handle, WM_CLOSE, 0, 0);
      delivered = true;
    }
  }
  if (delivered) closeRequested = 0;
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
  if (window && msg.hwnd != window) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

void Push(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg = {window, message, wParam, lParam, (DWORD)GetTickCount64(), {0, 0}};
  GetCursorPos(&msg.pt);
  queue.push_back(msg);
}

}  // namespace

namespace desktop {

// A closed terminal or the end of the session (SIGHUP) asks as SIGTERM and SIGINT do;
// SIGINT and SIGHUP stay ignored where the starter ignored them (nohup, background jobs).
// A write to a pipe nobody reads fails instead of killing the program.
void InstallSignalHandlers() {
  struct sigaction action = {};
  action.sa_handler = OnTerminationSignal;
  sigfillset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigset_t admitted;
  sigemptyset(&admitted);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous;
    if (signal != SIGTERM && sigaction(signal, nullptr, &previous) == 0 &&
        previous.sa_handler == SIG_IGN)
      continue;
    sigaction(signal, &action, nullptr);
    sigaddset(&admitted, signal);
  }
  sigprocmask(SIG_UNBLOCK, &admitted, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

void ResetQueue() {
  queue.clear();
  quitPosted = false;
  quitCode = 0;
  closeRequested = 0;
}

}  // namespace desktop

void PortableRequestClose() { closeRequested = 1; }

BOOL PeekMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage) {
  DeliverCloseRequest();
  for (auto it = queue.begin(); it != queue.end(); ++it) {
    if (!Matches(*it, window, filterMin, filterMax)) continue;
    *msg = *it;
    if (removeMessage & PM_REMOVE) queue.erase(it);
    return TRUE;
  }
  // WM_QUIT comes once every posted message has been taken.
  if (quitPosted && !window && Matches({nullptr, WM_QUIT, 0, 0, 0, {0, 0}}, nullptr, filterMin,
                                       filterMax)) {
    *msg = {nullptr, WM_QUIT, (WPARAM)quitCode, 0, (DWORD)GetTickCount64(), {0, 0}};
    if (removeMessage & PM_REMOVE) quitPosted = false;
    return TRUE;
  }
  return FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
  return msg && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN);
}

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg || !desktop::Find(msg->hwnd)) return 0;
  return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == HWND_BROADCAST) {
    for (HWND topLevel : desktop::State().topLevel) Push(topLevel, message, wParam, lParam);
    return TRUE;
  }
  if (window && !desktop::Find(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Push(window, message, wParam, lParam);
  return TRUE;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == HWND_BROADCAST) {
    for (HWND topLevel : std::vector<HWND>(desktop::State().topLevel))
      if (IsWindow(topLevel)) SendMessageW(topLevel, message, wParam, lParam);
    return 0;
  }
  desktop::Window* target = desktop::Find(window);
  if (!target) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return target->windowClass.proc(window, message, wParam, lParam);
}

LRESULT SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT,
                            UINT, DWORD_PTR* result) {
  if (window != HWND_BROADCAST && !desktop::Find(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LRESULT answer = SendMessageW(window, message, wParam, lParam);
  if (result) *result = (DWORD_PTR)answer;
  return 1;
}

void PostQuitMessage(int exitCode) {
  quitPosted = true;
  quitCode = exitCode;
}

UINT RegisterWindowMessageW(LPCWSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  for (size_t i = 0; i < registeredMessages.size(); ++i)
    if (desktop::SameName(registeredMessages[i], name)) return (UINT)(0xC000 + i);
  registeredMessages.push_back(name);
  return (UINT)(0xC000 + registeredMessages.size() - 1);
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  desktop::Window* target = desktop::Find(window);
  if (!target) return 0;
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_SETTEXT:
      target->title = lParam ? (const wchar_t*)lParam : L"";
      return TRUE;
    case WM_SETCURSOR:
      if (!target->windowClass.cursor) return FALSE;
      SetCursor(target->windowClass.cursor);
      return TRUE;
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4) SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(window, WM_CLOSE, 0, 0);
      return 0;
    default:
      return 0;
  }
}
