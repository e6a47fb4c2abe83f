#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "render/frame_constants.h"

namespace {

struct Extent {
  float x, y;
};

Extent ViewExtent(uint32_t width, uint32_t height) {
  float ext[2];
  ComputeViewExtent(width, height, ext);
  return {ext[0], ext[1]};
}

TEST(ViewExtent, ShorterSideSpansTheSameUnits) {
  Extent wide = ViewExtent(1920, 1080);
  EXPECT_NEAR(wide.x, 9.5960f, 5e-5);
  EXPECT_NEAR(wide.y, 5.3978f, 5e-5);
  Extent portrait = ViewExtent(1080, 1920);
  EXPECT_NEAR(portrait.x, 5.3978f, 5e-5);
  EXPECT_NEAR(portrait.y, 9.5960f, 5e-5);
  // A square takes the landscape branch and keeps K exactly.
  Extent square = ViewExtent(700, 700);
  EXPECT_EQ(square.x, 5.397753f);
  EXPECT_EQ(square.y, 5.397753f);
}

TEST(ViewExtent, CornersBeyondTheWallAreClamped) {
  Extent ultrawide = ViewExtent(2560, 1080);
  EXPECT_NEAR(ultrawide.x, 10.504f, 5e-4);
  EXPECT_NEAR(ultrawide.y, 4.4312f, 5e-5);
  // Clamping keeps the aspect and puts the corner at 11.4, in both orientations.
  for (auto [w, h] : {std::pair{2560u, 1080u}, std::pair{1080u, 2560u}, std::pair{7680u, 1000u},
                      std::pair{1u, 5000u}}) {
    Extent e = ViewExtent(w, h);
    EXPECT_FLOAT_EQ(e.x / e.y, (float)w / (float)h);
    EXPECT_FLOAT_EQ(std::hypot(e.x, e.y), 11.4f);
  }
  // An empty target still gives finite numbers.
  Extent empty = ViewExtent(640, 0);
  EXPECT_TRUE(std::isfinite(empty.x) && std::isfinite(empty.y));
}

std::vector<float> Floats(const FrameConstants& c) {
  std::vector<float> f(40);
  std::memcpy(f.data(), &c, sizeof c);
  return f;
}

TEST(FrameConstants, AnimatedFieldsLandInTheirRegisters) {
  float animated[21];
  for (int i = 0; i < 21; ++i) animated[i] = (float)(i + 1);
  AnimValues values;
  std::memcpy(&values, animated, sizeof values);
  // Index in the 40-float record of each animated field; the w of the colours and pad0 stay 0.
  const int destination[21] = {4,  5,  6,  8,  9,  10, 12, 13, 14, 16, 17,
                               18, 20, 21, 22, 24, 25, 26, 27, 32, 33};
  std::vector<float> f =
      Floats(BuildFrameConstants(1920, 1080, kSceneTitle, kToneOriginal, values));
  for (int i = 0; i < 21; ++i) EXPECT_EQ(f[destination[i]], animated[i]) << "field " << i;
  for (int zero : {7, 11, 15, 19, 23}) EXPECT_EQ(f[zero], 0.0f) << "float " << zero;
  EXPECT_EQ(f[0], 1920.0f);
  EXPECT_EQ(f[1], 1080.0f);
  EXPECT_NEAR(f[2], 9.5960f, 5e-5);
}

TEST(FrameConstants, SceneAndToneFields) {
  AnimValues values = {};
  // uGeo, uSpot.zw and uTone for: main menu brightened, title light, unknown scene original.
  std::vector<float> menu =
      Floats(BuildFrameConstants(800, 600, kSceneMainMenu, kToneBrightened, values));
  std::vector<float> title = Floats(BuildFrameConstants(800, 600, kSceneTitle, kToneLight, values));
  std::vector<float> other = Floats(BuildFrameConstants(800, 600, 7, kToneOriginal, values));
  using V = std::vector<float>;
  EXPECT_EQ(V(menu.begin() + 28, menu.end()), (V{1, 3.5f, 3, -1.5f, 0, 0, 1, 0.4f, 0, 0, 0, 0}));
  EXPECT_EQ(V(title.begin() + 28, title.end()), (V{2, 3, 2, -0.5f, 0, 0, 2, 1, 1, 0, 0, 0}));
  EXPECT_EQ(V(other.begin() + 28, other.end()), (V{2, 3, 2, -0.5f, 0, 0, 2, 1, 0, 0, 0, 0}));
}

}  // namespace
