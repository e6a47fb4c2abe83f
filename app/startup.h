// Start-up, the main loop and the exit sequence: the program from its entry to its exit code.
#pragma once

#include "platform/win32.h"

// Exit codes of the process.
enum ExitCode : int { ExitNormal = 0, ExitStartFailed = 1, ExitDumpFailed = 2 };

// The whole program: start-up in its fixed order, then the dump run or the main loop.
int RunProgram(HINSTANCE instance);
