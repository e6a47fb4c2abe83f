// The thread's message queue, sent and posted messages, the wait for messages and timers,
// the default window procedure, and the termination signals, which close the program's
// windows the way a user would.
#include <time.h>

#include <algorithm>
#include <csignal>
#include <deque>

#include "win32/clock.h"
#include "win32/desktop_internal.h"
#include "win32/files.h"
#include "win32/kernel.h"
#include "win32/waitable_timer.h"

namespace {

std::deque<MSG> queue;
// What other threads handed over: sent messages and out-of-context events.
std::deque<std::function<void()>> incoming;
// Whether something arrived since the queue was last looked at: what wakes a wait.
bool newInput = false;
// Key strokes not yet taken; each goes to the foreground window of the moment it is taken.
std::deque<MSG> keyboard;
// Messages sent to a busy shell, handled when it is free again.
bool shellBusy = false;
std::deque<MSG> shellBacklog;
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
// shell's windows, as the wallpaper is) get WM_CLOSE. A program whose windows are all
// hidden (a wallpaper waiting for a shell) has nothing a user could close, and is asked to
// quit instead, which runs the same exit sequence. Until a window exists the request waits.
void DeliverCloseRequest() {
  if (!closeRequested) return;
  std::vector<HWND> windows = PortableProgramWindows();
  if (windows.empty()) return;
  bool delivered = false;
  for (HWND handle : windows) {
    desktop::Window* window = desktop::Find(handle);
    desktop::Window* parent = desktop::Find(window->parent);
    if (IsWindowVisible(handle) && (!parent || parent->windowClass.shell)) {
      PostMessageW(handle, WM_CLOSE, 0, 0);
      delivered = true;
    }
  }
  if (!delivered) PostQuitMessage(0);
  closeRequested = 0;
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
  newInput = true;
}

// Sent messages and hooked events are handled inside the call that looks for messages,
// before any posted message is returned, as on Windows. Work queued meanwhile waits for
// the next look.
void RunIncoming() {
  std::deque<std::function<void()>> now;
  now.swap(incoming);
  for (std::function<void()>& work : now) work();
}

// The program's first visible window that needs painting and passes the filter, if any.
HWND WindowToPaint(HWND filter, UINT filterMin, UINT filterMax) {
  if (!Matches({nullptr, WM_PAINT, 0, 0, 0, {0, 0}}, nullptr, filterMin, filterMax)) return nullptr;
  for (HWND handle : PortableProgramWindows()) {
    desktop::Window* window = desktop::Find(handle);
    if (window->invalid && IsWindowVisible(handle) && (!filter || filter == handle)) return handle;
  }
  return nullptr;
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

bool TerminationPending() { return closeRequested != 0; }

void NoteNewInput() { newInput = true; }

void QueueIncoming(std::function<void()> work) {
  incoming.push_back(std::move(work));
  newInput = true;
}

void ResetQueue() {
  queue.clear();
  incoming.clear();
  newInput = false;
  keyboard.clear();
  shellBusy = false;
  shellBacklog.clear();
  quitPosted = false;
  quitCode = 0;
  closeRequested = 0;
}

}  // namespace desktop

void PortableRequestClose() { closeRequested = 1; }

void PortableHoldKey(UINT key, int repeats, bool alt) {
  const LPARAM once = 1, withAlt = alt ? 1 << 29 : 0, wasDown = 1 << 30;
  const LPARAM released = (LPARAM)0x80000000u;
  UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN, up = alt ? WM_SYSKEYUP : WM_KEYUP;
  keyboard.push_back({nullptr, down, key, once | withAlt, 0, {0, 0}});
  for (int i = 0; i < repeats; ++i)
    keyboard.push_back({nullptr, down, key, once | withAlt | wasDown, 0, {0, 0}});
  keyboard.push_back({nullptr, up, key, once | withAlt | wasDown | released, 0, {0, 0}});
  newInput = true;
}

BOOL PeekMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage) {
  DeliverCloseRequest();
  RunIncoming();
  newInput = false;
  for (auto it = queue.begin(); it != queue.end(); ++it) {
    if (!Matches(*it, window, filterMin, filterMax)) continue;
    *msg = *it;
    if (removeMessage & PM_REMOVE) queue.erase(it);
    return TRUE;
  }
  HWND focus = GetForegroundWindow();
  if (!keyboard.empty() && focus && (!window || window == focus)) {
    MSG stroke = keyboard.front();
    stroke.hwnd = focus;
    stroke.time = (DWORD)GetTickCount64();
    GetCursorPos(&stroke.pt);
    if (Matches(stroke, window, filterMin, filterMax)) {
      *msg = stroke;
      if (removeMessage & PM_REMOVE) keyboard.pop_front();
      return TRUE;
    }
  }
  // WM_QUIT comes once every posted message has been taken.
  if (quitPosted && !window && Matches({nullptr, WM_QUIT, 0, 0, 0, {0, 0}}, nullptr, filterMin,
                                       filterMax)) {
    *msg = {nullptr, WM_QUIT, (WPARAM)quitCode, 0, (DWORD)GetTickCount64(), {0, 0}};
    if (removeMessage & PM_REMOVE) quitPosted = false;
    return TRUE;
  }
  // Paint comes last, and stays until the window is validated, even when removed.
  if (HWND invalid = WindowToPaint(window, filterMin, filterMax)) {
    *msg = {invalid, WM_PAINT, 0, 0, (DWORD)GetTickCount64(), {0, 0}};
    return TRUE;
  }
  return FALSE;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                DWORD milliseconds, DWORD wakeMask) {
  if (waitAll) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return WAIT_FAILED;
  }
  if (count > MAXIMUM_WAIT_OBJECTS - 1 || (count && !handles)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  for (DWORD i = 0; i < count; ++i)
    if (!timers::IsTimer(handles[i])) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
  desktop::InstallSignalHandlers();
  // The first signalled handle, else count for a new message, else none (-1). A termination
  // signal interrupts the sleep; it is delivered as WM_CLOSE, a posted message.
  auto satisfied = [&]() -> long {
    for (DWORD i = 0; i < count; ++i)
      if (timers::Signalled(handles[i])) return (long)i;
    if (closeRequested) DeliverCloseRequest();
    return newInput && (wakeMask & QS_ALLINPUT) != 0 ? (long)count : -1;
  };
  // The counter reading at which the first handle becomes signalled, -1 for none.
  auto nextDue = [&]() {
    LONGLONG next = -1, due;
    for (DWORD i = 0; i < count; ++i)
      if (timers::NextDue(handles[i], &due) && (next < 0 || due < next)) next = due;
    return next;
  };
  const LONGLONG kPerMillisecond = kPortableCounterPerSecond / 1000;
  timespec started;
  clock_gettime(CLOCK_MONOTONIC, &started);
  long found;
  while ((found = satisfied()) < 0) {
    LONGLONG due = nextDue();
    if (due >= 0 && PortableClockFrozen() && milliseconds != 0) {
      PortableWaitUntilCounter(due);
      continue;
    }
    if (milliseconds != 0 && milliseconds != INFINITE && desktop::PassWaitVirtually(milliseconds))
      return WAIT_TIMEOUT;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    LONGLONG spent = (now.tv_sec - started.tv_sec) * kPortableCounterPerSecond +
                     (now.tv_nsec - started.tv_nsec);
    // Sleeps until the timeout, the first due time, or a while (a signal cuts it short).
    LONGLONG nap = 50 * kPerMillisecond;
    if (milliseconds != INFINITE) {
      LONGLONG left = (LONGLONG)milliseconds * kPerMillisecond - spent;
      if (left <= 0) break;
      nap = left;
    }
    if (due >= 0) nap = std::min(nap, std::max<LONGLONG>(due - PortableCounterNow(), 0));
    timespec span = {(time_t)(nap / kPortableCounterPerSecond),
                     (long)(nap % kPortableCounterPerSecond)};
    nanosleep(&span, nullptr);
  }
  if (found < 0) return WAIT_TIMEOUT;
  if ((DWORD)found < count)
    timers::Take(handles[found]);
  else
    newInput = false;
  return WAIT_OBJECT_0 + (DWORD)found;
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
  desktop::Window* target = desktop::Find(window);
  if (window != HWND_BROADCAST && !target) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (shellBusy && target && target->windowClass.shell) {
    shellBacklog.push_back({window, message, wParam, lParam, 0, {0, 0}});
    SetLastError(ERROR_TIMEOUT);
    return 0;
  }
  LRESULT answer = SendMessageW(window, message, wParam, lParam);
  if (result) *result = (DWORD_PTR)answer;
  return 1;
}

void PortableSetShellBusy(bool busy) {
  shellBusy = busy;
  while (!shellBusy && !shellBacklog.empty()) {
    MSG late = shellBacklog.front();
    shellBacklog.pop_front();
    SendMessageW(late.hwnd, late.message, late.wParam, late.lParam);
  }
}

void PostQuitMessage(int exitCode) {
  quitPosted = true;
  quitCode = exitCode;
  newInput = true;
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
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_PAINT:
      // BeginPaint and EndPaint: the window is valid again.
      target->invalid = false;
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
