// The frame rate: the display's refresh divided down to the chosen rate by Present's sync
// interval, and the same rate as a period, which caps the frames where Present does not wait
// for the display (vsync forced off, remote sessions, Wine without vsync).
#include "app/frame_rate.h"

#include <algorithm>
#include <cmath>

namespace {

// What nearly every display runs at when it reports only "the hardware's default".
const float kDefaultRefresh = 60.0f;
const int32_t kPowerSavingRate = 30;
const long kLongestSyncInterval = 4;  // the most that Present accepts

}  // namespace

FramePace ChooseFramePace(float refreshHertz, int32_t frameRate, bool powerSaving) {
  float refresh = refreshHertz > 1.0f ? refreshHertz : kDefaultRefresh;
  int32_t rate = frameRate;
  if (powerSaving && (rate == 0 || rate > kPowerSavingRate)) rate = kPowerSavingRate;
  if (rate == 0) return {1, 1.0 / refresh};
  long interval = std::clamp(std::lround(refresh / (float)rate), 1L, kLongestSyncInterval);
  // No more frames than the display shows, where it is slower than the rate.
  return {(uint32_t)interval, 1.0 / std::min((float)rate, refresh)};
}
