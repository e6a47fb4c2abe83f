// Start-up, the main loop and the exit sequence: the program from its entry to its exit code.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// Exit codes of the process.
enum ExitCode : int { ExitNormal = 0, ExitStartFailed = 1, ExitDumpFailed = 2 };

// The whole program: start-up in its fixed order, then the dump run or the main loop.
int RunProgram(HINSTANCE instance);

// What the running instance carries from one pass of the main loop to the next.
struct MainLoop {
  HANDLE mutex = nullptr;      // the single-instance lock, held until the exit sequence
  int64_t previous = 0;        // performance counter at the end of the previous pass
  double animationTime = 0.0;  // seconds: the clamped elapsed time times the speed, summed
  double shownTime = 0.0;      // the time of the frame computed last
};

// Start-up in its fixed order. True when this is the running instance and the main loop is
// to follow; otherwise the run ends here with *exitCode (dump run, second instance, failure).
bool StartProgram(HINSTANCE instance, MainLoop* loop, int* exitCode);
// One pass: drain the queue, advance the clock, draw or idle. False once WM_QUIT was taken.
bool RunLoopPass(MainLoop* loop);
// After WM_QUIT: tray icon and window gone, desktop restored, lock released; the exit code.
int ExitProgram(MainLoop* loop);
// What the exit sequence leaves behind for others to see: the tray icon removed and the
// desktop's wallpaper put back. Done once, by the exit sequence or earlier by the session's
// end, after which the system may end the process without another message.
void LeaveDesktop();
