// Whether anyone can see the picture: one decision from what the system reports and from
// the windows that lie above the area the program shows. A plain function of its inputs.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32.h"

struct SeenInputs {
  bool displayOff = false;          // dimmed counts as on
  bool suspending = false;
  bool sessionLocked = false;
  bool consoleDisconnected = false;
  bool otherFullScreen = false;     // another program holds exclusive full screen
  RECT area = {0, 0, 0, 0};         // what the program shows, in screen coordinates
  std::vector<RECT> covers;         // the windows above it, in screen coordinates
};

// The first rule that holds, in this order; Seen when none does.
enum SeenVerdict : int {
  Seen,
  UnseenDisplayOff,
  UnseenSuspending,
  UnseenSessionAway,
  UnseenOtherFullScreen,
  UnseenCovered,
};

// The area counts as covered from this share of it on.
inline constexpr int64_t kCoveredPercent = 95;

SeenVerdict PictureSeen(const SeenInputs& inputs);
// Pixels of `area` inside the union of `rects`, exactly (overlaps counted once).
int64_t CoveredArea(const RECT& area, const std::vector<RECT>& rects);
