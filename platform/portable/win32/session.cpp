// The end of the user's session as Windows delivers it to a program: the question to each
// top-level window, the answer of the session, and a process ended without another message
// once a log-off or shutdown goes ahead. Left out: the five seconds after which Windows offers
// to end a program that has not answered, ShutdownBlockReasonCreate, console and service
// notifications, and restarting programs that registered for it.
#include <algorithm>

#include "win32/desktop_internal.h"
#include "win32/kernel.h"

bool PortableEndSession(LPARAM reasons, bool othersAgree) {
  // Every top-level window of the program, hidden ones included, topmost first.
  std::vector<HWND> windows;
  std::vector<HWND> programs = PortableProgramWindows();
  for (HWND handle : desktop::State().topLevel)
    if (std::find(programs.begin(), programs.end(), handle) != programs.end())
      windows.push_back(handle);

  // The question stops at the first window that refuses; only those asked hear the answer.
  std::vector<HWND> asked;
  bool agreed = true;
  for (HWND window : windows) {
    if (!IsWindow(window)) continue;
    asked.push_back(window);
    if (!SendMessageW(window, WM_QUERYENDSESSION, 0, reasons)) {
      agreed = false;
      break;
    }
  }
  bool ends = agreed && othersAgree;
  for (HWND window : asked)
    if (IsWindow(window)) SendMessageW(window, WM_ENDSESSION, ends ? TRUE : FALSE, reasons);
  // The Restart Manager waits for the program to end by itself; a log-off or shutdown ends
  // the process as soon as its windows have answered.
  if (ends && !(reasons & ENDSESSION_CLOSEAPP)) ExitProcess(kPortableSessionEndExitCode);
  return ends;
}
