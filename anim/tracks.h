// Keyframe tracks: the colours of the background and the main menu's light follow them.
#pragma once

#include <cstdint>

enum KeyMode : int32_t { Hold = 1, Linear = 2, Smooth = 3, Flat = 4 };

struct TrackKey {
  float time;
  int32_t mode;
  float value[3];
};
static_assert(sizeof(TrackKey) == 20, "TrackKey is 20 bytes");

struct Track {
  const TrackKey* keys;
  int32_t count;
};

extern const Track kFillTrack;
extern const Track kFarTrack;
extern const Track kNearTrack;
extern const Track kGradientTrack;
extern const Track kMenuFillBrightnessTrack;
extern const Track kMenuLayerBrightnessTrack;
extern const Track kMenuSpotTrack;

void SampleTrack(const TrackKey* keys, int32_t count, float t, float out[3]);
