#include "anim/anim_values.h"

#include "anim/phase_clock.h"
#include "anim/tracks.h"
#include "app/app_state.h"

namespace {

void Sample(const Track& track, float phase, float out[3]) {
  SampleTrack(track.keys, track.count, phase, out);
}

}  // namespace

void ComputeAnimValues(double t, AnimValues* out) {
  if (gApp.debugValuesGiven) {
    *out = gApp.debugValues;
    return;
  }

  float a = ClockPhase(gApp.rotationClock, t);
  out->angle = (a * 6.2831855f) / 300.0f;
  float b = ClockPhase(gApp.farClock, t);
  out->farScroll = (b + b) / 120.0f;
  float c = ClockPhase(gApp.nearClock, t);
  out->nearScroll = (c + c) / 90.0f;

  float p = ClockPhase(gApp.colourClock, t);
  Sample(kFillTrack, p, out->fill);
  Sample(kFarTrack, p, out->farTint);
  Sample(kNearTrack, p, out->nearTint);
  Sample(kGradientTrack, p, out->gradient);

  if (gApp.scene == kSceneMainMenu) {
    float q = ClockPhase(gApp.menuClock, t);
    float sample[3];
    Sample(kMenuFillBrightnessTrack, q, sample);
    out->brightness[0] = sample[0];
    Sample(kMenuLayerBrightnessTrack, q, sample);
    out->brightness[1] = out->brightness[2] = out->brightness[3] = sample[0];
    Sample(kMenuSpotTrack, q, sample);
    out->spot[0] = sample[0];
    out->spot[1] = sample[1];
  } else {
    for (float& brightness : out->brightness) brightness = 1.0f;
    out->spot[0] = kTitleSpotX;
    out->spot[1] = kTitleSpotY;
  }

  if (gApp.tone == kToneBrightened)
    for (float& brightness : out->brightness) brightness = brightness + brightness;
}
