#include "tools/spot_image.h"

#include <cmath>
#include <iterator>

namespace {

struct ProfilePoint {
  double distance, value;
};

const ProfilePoint kProfile[] = {{32, 255},  {48, 249},  {64, 240},  {80, 228},  {96, 215},
                                 {112, 200}, {128, 184}, {144, 167}, {160, 151}, {176, 136},
                                 {192, 119}, {208, 105}, {224, 94},  {240, 85},  {256, kSpotFloor}};

}  // namespace

double SpotProfile(double distance) {
  if (distance <= kProfile[0].distance) return kProfile[0].value;
  for (size_t i = 1; i < std::size(kProfile); ++i) {
    const ProfilePoint a = kProfile[i - 1], b = kProfile[i];
    if (distance <= b.distance)
      return a.value + (b.value - a.value) * (distance - a.distance) / (b.distance - a.distance);
  }
  return kSpotFloor;
}

std::vector<uint8_t> MakeSpotImage() {
  std::vector<uint8_t> rgba((size_t)kSpotSize * kSpotSize * 4);
  for (int y = 0; y < kSpotSize; ++y) {
    for (int x = 0; x < kSpotSize; ++x) {
      // Distance of the texel's centre from the corner point (kSpotSize, kSpotSize).
      const double d = std::hypot(kSpotSize - (x + 0.5), kSpotSize - (y + 0.5));
      const uint8_t v = (uint8_t)std::lround(SpotProfile(d));
      uint8_t* p = &rgba[((size_t)y * kSpotSize + x) * 4];
      p[0] = p[1] = p[2] = v;
      p[3] = 255;
    }
  }
  return rgba;
}
