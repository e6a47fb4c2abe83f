#include "kernels/background_vector_plan.h"

#include <algorithm>
#include <cmath>

#include "kernels/background_constants.h"

bool UsesGreyWall(const SampledTexture& wall) {
  return wall.grey && wall.addressU == TextureAddress::Wrap &&
         wall.addressV == TextureAddress::Wrap;
}

bool WallPositionsOrdinary(const BackgroundFrame& frame) {
  const float limit = 2097152.0f / (float)std::max(frame.wall.width, frame.wall.height) - 1.0f;
  return std::fabs(frame.farRepeat) + std::fabs(frame.farT) < limit &&
         kNearDown + std::fabs(frame.nearT) < limit && kFineDown < limit;
}

BackgroundRowPlan PlanBackgroundRow(const BackgroundFrame& frame, uint32_t y) {
  BackgroundRowPlan plan = {};
  const float centreY = (float)y + 0.5f;
  const float ny = 1.0f - 2.0f * (centreY / frame.resY);
  const float py = ny * frame.extY;
  plan.saPy = frame.sa * py;
  plan.caPy = frame.ca * py;
  const float g = (py - frame.bandCentre) / frame.bandHeight + kBandOffset;
  plan.band = g <= kBandLimit;
  const float f = 1.0f - g * kBandFade;
  plan.bandFade = f > 0.0f ? (f < 1.0f ? f : 1.0f) : 0.0f;  // saturate: NaN gives 0
  const float spy = (py - frame.spotY) / frame.spotScale + kSpotCentre;
  plan.spotInside = 0.0f <= spy && spy <= kSpotSize;
  if (!plan.spotInside) return plan;

  // The spot's row position, as the scalar sampler finds it.
  const SampledTexture& spot = frame.spot;
  const float m = 1.0f - std::fabs(2.0f * (spy * kSpotToTexture - 0.5f));
  const float v = m * kSpotInsetScale + kSpotInsetOffset;
  const float position = SafeTexelPosition(v * (float)spot.height - 0.5f);
  const float y0 = FloorF(position);
  plan.spotFy = position - y0;
  plan.spotTexelRows[0] = AddressTexel((int32_t)y0, spot.height, spot.addressV);
  plan.spotTexelRows[1] = AddressTexel((int32_t)y0 + 1, spot.height, spot.addressV);
  return plan;
}

uint32_t BackgroundBlockKey(const BackgroundFrame& frame, float x, float y) {
  BackgroundCoordinates c;
  ComputeBackgroundCoordinates(frame, x, y, &c);
  uint32_t key = 0;
  for (int axis = 0; axis < 2; ++axis) {
    const float within = c.fine[axis] - std::floor(c.fine[axis]);
    // 256 steps of the repeat; a position that is not a number or infinite goes first.
    const uint32_t step = within >= 0.0f && within < 1.0f ? (uint32_t)(within * 256.0f) : 0;
    for (int bit = 0; bit < 8; ++bit) key |= ((step >> bit) & 1u) << (2 * bit + axis);
  }
  return key;
}
