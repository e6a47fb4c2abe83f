#include "render/frame_constants.h"

#include <algorithm>
#include <cmath>

#include "app/app_state.h"

namespace {

constexpr float kHalfShortSide = 5.397753f;  // 0x40ACBA64
// The wall square reaches 11.52 units along each axis; keeping every visible point
// within 11.4 of the centre keeps the corners on the wall at any angle.
constexpr float kMaxCornerDistance = 11.4f;

}  // namespace

void ComputeViewExtent(uint32_t width, uint32_t height, float ext[2]) {
  // A target without pixels shows nothing; the square extent keeps the record finite.
  if (width == 0 || height == 0) {
    ext[0] = ext[1] = kHalfShortSide;
    return;
  }
  float a = (float)width / (float)height;
  if (a >= 1.0f) {
    ext[0] = kHalfShortSide * a;
    ext[1] = kHalfShortSide;
  } else {
    ext[0] = kHalfShortSide;
    ext[1] = kHalfShortSide / a;
  }
  float d = std::sqrt(ext[0] * ext[0] + ext[1] * ext[1]);
  if (d > kMaxCornerDistance) {
    float scale = kMaxCornerDistance / d;
    ext[0] *= scale;
    ext[1] *= scale;
  }
}

FrameConstants BuildFrameConstants(uint32_t width, uint32_t height, int32_t scene, int32_t tone,
                                   const AnimValues& values) {
  FrameConstants c = {};
  c.uRes[0] = (float)width;
  c.uRes[1] = (float)height;
  ComputeViewExtent(width, height, c.uExt);
  c.uAng = values.angle;
  c.uFarT = values.farScroll;
  c.uNearT = values.nearScroll;
  for (int i = 0; i < 3; ++i) {
    c.uCFill[i] = values.fill[i];
    c.uCFar[i] = values.farTint[i];
    c.uCNear[i] = values.nearTint[i];
    c.uCGrad[i] = values.gradient[i];
  }
  for (int i = 0; i < 4; ++i) c.uBr[i] = values.brightness[i];
  c.uSpot[0] = values.spot[0];
  c.uSpot[1] = values.spot[1];
  if (scene == kSceneMainMenu) {
    const float geo[4] = {1.0f, 3.5f, 3.0f, -1.5f};
    std::copy(geo, geo + 4, c.uGeo);
    c.uSpot[2] = 1.0f;
    c.uSpot[3] = 0.4f;
  } else {
    const float geo[4] = {2.0f, 3.0f, 2.0f, -0.5f};
    std::copy(geo, geo + 4, c.uGeo);
    c.uSpot[2] = 2.0f;
    c.uSpot[3] = 1.0f;
  }
  c.uTone[0] = tone == kToneLight ? 1.0f : 0.0f;
  return c;
}
