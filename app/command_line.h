// The command line: long options that override the stored settings for one run.
#pragma once

#include "app/app_state.h"

// Reads the process's command line, splits it by the platform's rules and walks it into
// the override group of gApp. Never reports and never fails.
void ParseCommandLine();

// The walk itself: argument 0 (the program) is skipped; the overrides of state are set.
void WalkArguments(AppState& state, int count, const wchar_t* const* arguments);
