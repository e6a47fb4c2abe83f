#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>

#include "anim/anim_values.h"
#include "anim/phase_clock.h"
#include "anim/tracks.h"
#include "app/app_state.h"

namespace {

void ExpectTriple(const float (&v)[3], float x, float y, float z) {
  EXPECT_FLOAT_EQ(v[0], x);
  EXPECT_FLOAT_EQ(v[1], y);
  EXPECT_FLOAT_EQ(v[2], z);
}

void ExpectClock(const PhaseClock& clock, float period, float rate, float offset) {
  EXPECT_EQ(clock.period, period);
  EXPECT_FLOAT_EQ(clock.rate, rate);
  EXPECT_FLOAT_EQ(clock.offset, offset);
}

// The first 15 fields (angle, scrolls, colours) do not depend on scene or tone.
bool SameMotionAndColours(const AnimValues& a, const AnimValues& b) {
  return std::memcmp(&a, &b, 15 * sizeof(float)) == 0;
}

float Sample(const Track& track, float t, int component = 0) {
  float out[3];
  SampleTrack(track.keys, track.count, t, out);
  return out[component];
}

// Each test starts from the fresh record with the clocks of seed 1.
class AnimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gApp = AppState{};
    InitPhaseClocks(true, 1);
  }
  void TearDown() override { gApp = AppState{}; }
};

TEST_F(AnimTest, SeedOneGivesTheKnownClocks) {
  ExpectClock(gApp.rotationClock, 300.0f, 0.9751066f, 299.15543f);
  ExpectClock(gApp.nearClock, 90.0f, 1.0660974f, 83.93016f);
  ExpectClock(gApp.farClock, 120.0f, 0.8500343f, 15.37493f);
  ExpectClock(gApp.colourClock, 20.0f, 0.9406998f, 19.98081f);
  ExpectClock(gApp.menuClock, 12.0f, 0.89402676f, 2.8330672f);
}

TEST_F(AnimTest, RatesAndOffsetsStayInTheirRanges) {
  EXPECT_EQ(UnitFloat24(0), 0.0f);
  EXPECT_EQ(UnitFloat24(0xFFFFFFFFu), 1.0f - 0x1p-24f);
  EXPECT_EQ(UnitFloat24(0x000000FFu), 0.0f);  // only the top 24 bits count

  for (uint32_t seed = 0; seed < 2000; ++seed) {
    InitPhaseClocks(true, seed * 2654435761u);
    for (const PhaseClock* c : {&gApp.rotationClock, &gApp.nearClock, &gApp.farClock,
                                &gApp.colourClock, &gApp.menuClock}) {
      ASSERT_GE(c->rate, 0.85f);
      ASSERT_LT((double)c->rate, 1.15);
      ASSERT_GE(c->offset, 0.0f);
      ASSERT_LT(c->offset, c->period);
    }
  }
}

TEST_F(AnimTest, ClockPhaseWrapsIntoThePeriod) {
  EXPECT_EQ(ClockPhase(gApp.colourClock, 0.0), gApp.colourClock.offset);
  EXPECT_FLOAT_EQ(ClockPhase(gApp.rotationClock, 100.0), 96.66608f);
  EXPECT_FLOAT_EQ(ClockPhase(gApp.farClock, 100.0), 100.37836f);
  EXPECT_FLOAT_EQ(ClockPhase(gApp.nearClock, 100.0), 10.539898f);
  EXPECT_FLOAT_EQ(ClockPhase(gApp.colourClock, 100.0), 14.050792f);
  EXPECT_FLOAT_EQ(ClockPhase(gApp.menuClock, 100.0), 8.235743f);

  // Negative times move up by one period instead of going negative.
  PhaseClock clock = {12.0f, 1.0f, 2.0f};
  EXPECT_FLOAT_EQ(ClockPhase(clock, -5.0), 9.0f);
  EXPECT_FLOAT_EQ(ClockPhase(clock, -1e6 - 2.0), 8.0f);
  // A remainder just below the period narrows to the period itself.
  PhaseClock edge = {20.0f, 1.0f, 0.0f};
  EXPECT_EQ(ClockPhase(edge, -1e-9), 20.0f);
  // Long runs keep their phase: double precision until the final narrowing.
  EXPECT_FLOAT_EQ(ClockPhase(edge, 1e9 + 7.25), 7.25f);
}

TEST(Tracks, SamplesInTheMiddleOfASegment) {
  float out[3];
  SampleTrack(kFillTrack.keys, kFillTrack.count, 10.0f, out);
  ExpectTriple(out, 0.102f, 0.0301875f, 0.06225f);
  SampleTrack(kFarTrack.keys, kFarTrack.count, 10.0f, out);
  ExpectTriple(out, 0.2f, 0.0645f, 0.1225f);
  SampleTrack(kNearTrack.keys, kNearTrack.count, 10.0f, out);
  ExpectTriple(out, 0.155f, 0.051f, 0.1625f);
  SampleTrack(kGradientTrack.keys, kGradientTrack.count, 10.0f, out);
  ExpectTriple(out, 0.052125f, 0.0376875f, 0.149f);
  // The first segment uses the first key itself as its missing neighbour.
  SampleTrack(kFillTrack.keys, kFillTrack.count, 2.5f, out);
  ExpectTriple(out, 0.102f, 0.0301875f, 0.032875f);
}

TEST(Tracks, EveryKeyIsHitExactlyAndTheEndsHold) {
  for (const Track* track :
       {&kFillTrack, &kFarTrack, &kNearTrack, &kGradientTrack, &kMenuFillBrightnessTrack,
        &kMenuLayerBrightnessTrack, &kMenuSpotTrack}) {
    for (int k = 0; k < track->count; ++k)
      for (int c = 0; c < 3; ++c)
        EXPECT_EQ(Sample(*track, track->keys[k].time, c), track->keys[k].value[c]) << "key " << k;
    const TrackKey& first = track->keys[0];
    const TrackKey& last = track->keys[track->count - 1];
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(Sample(*track, first.time - 0.5f, c), first.value[c]);
      EXPECT_EQ(Sample(*track, last.time + 0.5f, c), last.value[c]);
    }
  }
}

TEST(Tracks, MenuTracksAroundTheWrap) {
  EXPECT_EQ(Sample(kMenuFillBrightnessTrack, 0.0f), 1.0666667f);
  EXPECT_EQ(Sample(kMenuFillBrightnessTrack, 2.99f), 1.0666667f);
  EXPECT_EQ(Sample(kMenuFillBrightnessTrack, 12.0f), 1.0f);
  EXPECT_EQ(Sample(kMenuLayerBrightnessTrack, 4.5f), 1.5f);
  EXPECT_EQ(Sample(kMenuSpotTrack, 3.0f, 0), 1.0f);
  EXPECT_EQ(Sample(kMenuSpotTrack, 3.0f, 1), 0.0f);
  EXPECT_EQ(Sample(kMenuSpotTrack, 12.0f, 0), 12.0f);
  EXPECT_EQ(Sample(kGradientTrack, 19.99f, 0), 0.024f);
  EXPECT_EQ(Sample(kGradientTrack, 20.0f, 1), 0.0f);
}

TEST(Tracks, SegmentModes) {
  const TrackKey straight[] = {{0, Linear, {0, 10, 0}},
                               {4, Hold, {8, 2, 0}},
                               {8, Linear, {0, 0, 0}},
                               {9, Linear, {1, 1, 1}}};
  float out[3];
  SampleTrack(straight, 4, 1.0f, out);  // Linear into Hold: a straight line
  ExpectTriple(out, 2.0f, 8.0f, 0.0f);
  SampleTrack(straight, 4, 7.0f, out);  // a Hold key keeps its value to the next key
  ExpectTriple(out, 8.0f, 2.0f, 0.0f);
  SampleTrack(straight, 4, 8.5f, out);
  ExpectTriple(out, 0.5f, 0.5f, 0.5f);

  // A cubic segment whose keys are neither Smooth nor Flat takes the chord slope at both
  // ends, which is the straight line again.
  const TrackKey chord[] = {{0, 7, {0, 4, -4}}, {2, Hold, {8, 0, 4}}};
  SampleTrack(chord, 2, 0.5f, out);
  ExpectTriple(out, 2.0f, 3.0f, -2.0f);

  // A Linear key before a Smooth one is cubic, not straight: the slope at the right key
  // comes from its neighbour: P0 = -1 (chord), P1 = 0, P2 = 1, P3 = 3 at s = 0.5.
  const TrackKey mixed[] = {{0, Linear, {0, 0, 0}}, {1, Smooth, {1, 0, 0}}, {2, Smooth, {3, 0, 0}}};
  SampleTrack(mixed, 3, 0.5f, out);
  EXPECT_FLOAT_EQ(out[0], 0.4375f);

  const TrackKey single[] = {{5, Smooth, {1, 2, 3}}};
  for (float t : {-100.0f, 5.0f, 1e9f}) {
    SampleTrack(single, 1, t, out);
    ExpectTriple(out, 1.0f, 2.0f, 3.0f);
  }
}

TEST_F(AnimTest, SeedOneFrameAtOneHundredSeconds) {
  AnimValues menu, title;
  gApp.scene = kSceneMainMenu;
  ComputeAnimValues(100.0, &menu);
  EXPECT_FLOAT_EQ(menu.angle, 2.02457f);
  EXPECT_FLOAT_EQ(menu.farScroll, 1.672973f);
  EXPECT_FLOAT_EQ(menu.nearScroll, 0.23422f);
  ExpectTriple(menu.fill, 0.102f, 0.02470617f, 0.09526828f);
  ExpectTriple(menu.farTint, 0.2f, 0.05168362f, 0.1846831f);
  ExpectTriple(menu.nearTint, 0.1122788f, 0.051f, 0.1981011f);
  ExpectTriple(menu.gradient, 0.005260438f, 0.06557678f, 0.149f);
  for (float b : menu.brightness) EXPECT_FLOAT_EQ(b, 1.16163f);
  EXPECT_FLOAT_EQ(menu.spot[0], -3.112484f);
  EXPECT_FLOAT_EQ(menu.spot[1], -1.121586f);

  gApp.scene = kSceneTitle;
  ComputeAnimValues(100.0, &title);
  EXPECT_TRUE(SameMotionAndColours(title, menu));
  for (float b : title.brightness) EXPECT_EQ(b, 1.0f);
  EXPECT_EQ(std::bit_cast<uint32_t>(title.spot[0]), 0xBE10D5B2u);
  EXPECT_EQ(std::bit_cast<uint32_t>(title.spot[1]), 0xBD56DBD8u);

  AnimValues start;
  ComputeAnimValues(0.0, &start);
  EXPECT_FLOAT_EQ(start.angle, 6.265497f);
  EXPECT_FLOAT_EQ(start.farScroll, 0.2562488f);
  EXPECT_FLOAT_EQ(start.nearScroll, 1.865115f);
  ExpectTriple(start.gradient, 0.024f, 0.0f, 0.149f);
}

TEST_F(AnimTest, ToneDoublesBrightnessButNotColours) {
  AnimValues original, bright;
  gApp.scene = kSceneTitle;
  gApp.tone = kToneBrightened;
  ComputeAnimValues(42.0, &bright);
  for (float b : bright.brightness) EXPECT_EQ(b, 2.0f);

  // At menu phase 6 the fill brightness peaks at 2, doubled to 4.
  gApp.scene = kSceneMainMenu;
  gApp.menuClock = {12.0f, 1.0f, 6.0f};
  ComputeAnimValues(0.0, &bright);
  EXPECT_EQ(bright.brightness[0], 4.0f);
  gApp.tone = kToneLight;
  ComputeAnimValues(0.0, &original);
  EXPECT_EQ(original.brightness[0], 2.0f);
  EXPECT_TRUE(SameMotionAndColours(original, bright));
}

TEST_F(AnimTest, FrozenValuesIgnoreTimeSceneAndTone) {
  gApp.debugValuesGiven = true;
  gApp.debugValues.angle = 0.5f;
  gApp.debugValues.brightness[0] = 1.0f;
  for (SceneId scene : {kSceneTitle, kSceneMainMenu})
    for (ToneId tone : {kToneOriginal, kToneBrightened, kToneLight})
      for (double t : {0.0, 100.0, -3.0}) {
        gApp.scene = scene;
        gApp.tone = tone;
        AnimValues out;
        ComputeAnimValues(t, &out);
        EXPECT_EQ(std::memcmp(&out, &gApp.debugValues, sizeof out), 0);
      }
}

}  // namespace
