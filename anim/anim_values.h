// The animated inputs of one frame and their computation from the phase clocks.
#pragma once

#include <cstdint>

// 21 single-precision floats, in the order the renderer copies them into FrameConstants.
struct AnimValues {
  float angle;          // uAng, radians
  float farScroll;      // uFarT
  float nearScroll;     // uNearT
  float fill[3];        // uCFill.rgb
  float farTint[3];     // uCFar.rgb
  float nearTint[3];    // uCNear.rgb
  float gradient[3];    // uCGrad.rgb
  float brightness[4];  // uBr: fill, far layer, near layer, gradient
  float spot[2];        // uSpot.xy, scene units
};
static_assert(sizeof(AnimValues) == 21 * sizeof(float), "AnimValues is 21 packed floats");

// The title screen's fixed spot centre (bits 0xBE10D5B2, 0xBD56DBD8).
inline constexpr float kTitleSpotX = -0.14144018f;
inline constexpr float kTitleSpotY = -0.052455753f;

// Fills out for animation time t from the phase clocks, scene and tone of gApp, or copies
// the frozen values when the command line gave them.
void ComputeAnimValues(double t, AnimValues* out);
