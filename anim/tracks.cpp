#include "anim/tracks.h"

#include <algorithm>

namespace {

const TrackKey kFillKeys[] = {
    {0.0f, Smooth, {0.102f, 0.024f, 0.051f}},
    {5.0f, Smooth, {0.102f, 0.035f, 0.024f}},
    {15.0f, Smooth, {0.102f, 0.024f, 0.098f}},
    {20.0f, Smooth, {0.102f, 0.024f, 0.051f}},
};

const TrackKey kFarKeys[] = {
    {0.0f, Flat, {0.2f, 0.051f, 0.098f}},
    {5.0f, Flat, {0.2f, 0.078f, 0.057f}},
    {15.0f, Flat, {0.2f, 0.051f, 0.188f}},
    {20.0f, Flat, {0.2f, 0.051f, 0.098f}},
};

const TrackKey kNearKeys[] = {
    {0.0f, Flat, {0.2f, 0.051f, 0.2f}},
    {5.0f, Flat, {0.2f, 0.051f, 0.125f}},
    {15.0f, Flat, {0.11f, 0.051f, 0.2f}},
    {20.0f, Flat, {0.2f, 0.051f, 0.2f}},
};

// The last key sits just before the end of the 20 s cycle (0x419FD800); from there to
// the wrap the colour holds the first key's value.
const TrackKey kGradientKeys[] = {
    {0.0f, Smooth, {0.024f, 0.0f, 0.149f}},
    {5.0f, Smooth, {0.098f, 0.0f, 0.149f}},
    {15.0f, Smooth, {0.0f, 0.067f, 0.149f}},
    {19.98046875f, Smooth, {0.024f, 0.0f, 0.149f}},
};

// Starts at the float nearest 16/15 (0x3F888889), so the pulse jumps at the wrap.
const TrackKey kMenuFillBrightnessKeys[] = {
    {3.0f, Flat, {1.0666667f, 0.0f, 0.0f}},
    {6.0f, Flat, {2.0f, 0.0f, 0.0f}},
    {9.0f, Flat, {1.0f, 0.0f, 0.0f}},
};

const TrackKey kMenuLayerBrightnessKeys[] = {
    {3.0f, Flat, {1.0f, 0.0f, 0.0f}},
    {6.0f, Flat, {2.0f, 0.0f, 0.0f}},
    {9.0f, Flat, {1.0f, 0.0f, 0.0f}},
};

const TrackKey kMenuSpotKeys[] = {
    {0.0f, Flat, {12.0f, 3.0f, 0.0f}},
    {6.0f, Flat, {-10.0f, -3.0f, 0.0f}},
    {12.0f, Flat, {12.0f, 3.0f, 0.0f}},
};

template <int N>
constexpr Track MakeTrack(const TrackKey (&keys)[N]) {
  return {keys, N};
}

}  // namespace

const Track kFillTrack = MakeTrack(kFillKeys);
const Track kFarTrack = MakeTrack(kFarKeys);
const Track kNearTrack = MakeTrack(kNearKeys);
const Track kGradientTrack = MakeTrack(kGradientKeys);
const Track kMenuFillBrightnessTrack = MakeTrack(kMenuFillBrightnessKeys);
const Track kMenuLayerBrightnessTrack = MakeTrack(kMenuLayerBrightnessKeys);
const Track kMenuSpotTrack = MakeTrack(kMenuSpotKeys);

// The tracks do not wrap: before the first key and after the last the end values hold.
void SampleTrack(const TrackKey* keys, int32_t count, float t, float out[3]) {
  const TrackKey& first = keys[0];
  const TrackKey& last = keys[count - 1];
  if (t < first.time || count == 1) {
    std::copy(first.value, first.value + 3, out);
    return;
  }
  if (t >= last.time) {
    std::copy(last.value, last.value + 3, out);
    return;
  }
  int32_t lo = 0, hi = count - 1;
  while (hi - lo > 1) {
    int32_t mid = (lo + hi) >> 1;
    if (keys[mid].time <= t)
      lo = mid;
    else
      hi = mid;
  }
  const TrackKey& left = keys[lo];
  const TrackKey& right = keys[hi];
  float u = (t - left.time) / (right.time - left.time);

  if ((right.mode == Hold || right.mode == Linear) && left.mode == Linear) {
    for (int c = 0; c < 3; ++c) out[c] = (right.value[c] - left.value[c]) * u + left.value[c];
    return;
  }
  if (left.mode == Hold) {
    std::copy(left.value, left.value + 3, out);
    return;
  }

  // Catmull-Rom through the two keys; a Flat key mirrors the other end (zero slope), a
  // Smooth key borrows its neighbour (itself at the track's ends), any other key
  // continues the chord.
  float s = std::min(std::max(u, 0.0f), 1.0f);
  for (int c = 0; c < 3; ++c) {
    float p1 = left.value[c], p2 = right.value[c];
    float p0 = left.mode == Flat     ? p2
               : left.mode == Smooth ? (lo >= 1 ? keys[lo - 1].value[c] : p1)
                                     : p1 + p1 - p2;
    float p3 = right.mode == Flat     ? p1
               : right.mode == Smooth ? (hi + 1 < count ? keys[hi + 1].value[c] : p2)
                                      : p2 + p2 - p1;
    float a = ((1.5f * p1 - 0.5f * p0) - 1.5f * p2) + 0.5f * p3;
    float b = ((p0 - 2.5f * p1) + 2.0f * p2) - 0.5f * p3;
    float d = 0.5f * p2 - 0.5f * p0;
    out[c] = ((a * s + b) * s + d) * s + p1;
  }
}
