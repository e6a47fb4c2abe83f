// The seen decision alone: each rule, their order, and the covered share at its edge, measured
// exactly over overlapping windows and windows reaching beyond the area.
#include <gtest/gtest.h>

#include "app/picture_seen.h"

namespace {

const RECT kArea = {0, 0, 1000, 1000};

SeenInputs Covered(std::vector<RECT> covers) {
  SeenInputs inputs;
  inputs.area = kArea;
  inputs.covers = std::move(covers);
  return inputs;
}

TEST(PictureSeen, EachRuleAloneAndTheFirstThatHoldsWins) {
  const struct {
    bool displayOff, suspending, locked, disconnected, fullScreen, covered;
    SeenVerdict expected;
  } cases[] = {
      {false, false, false, false, false, false, Seen},
      {true, false, false, false, false, false, UnseenDisplayOff},
      {false, true, false, false, false, false, UnseenSuspending},
      {false, false, true, false, false, false, UnseenSessionAway},
      {false, false, false, true, false, false, UnseenSessionAway},
      {false, false, false, false, true, false, UnseenOtherFullScreen},
      {false, false, false, false, false, true, UnseenCovered},
      {true, true, true, true, true, true, UnseenDisplayOff},
      {false, true, true, true, true, true, UnseenSuspending},
      {false, false, true, true, true, true, UnseenSessionAway},
      {false, false, false, true, true, true, UnseenSessionAway},
      {false, false, false, false, true, true, UnseenOtherFullScreen},
  };
  for (const auto& c : cases) {
    SeenInputs inputs = Covered(c.covered ? std::vector<RECT>{kArea} : std::vector<RECT>{});
    inputs.displayOff = c.displayOff;
    inputs.suspending = c.suspending;
    inputs.sessionLocked = c.locked;
    inputs.consoleDisconnected = c.disconnected;
    inputs.otherFullScreen = c.fullScreen;
    EXPECT_EQ(PictureSeen(inputs), c.expected) << &c - cases;
  }
}

// 95 % of the area's pixels, however the covering windows lie and overlap, and whatever of
// them lies outside it.
TEST(PictureSeen, CoveredFromNinetyFivePercentOfTheArea) {
  const struct {
    const char* what;
    std::vector<RECT> covers;
    SeenVerdict expected;
  } cases[] = {
      {"nothing above", {}, Seen},
      {"just below", {{0, 0, 1000, 949}, {0, 949, 999, 950}}, Seen},
      {"exactly 95 %", {{0, 0, 1000, 950}}, UnseenCovered},
      {"just above", {{0, 0, 1000, 951}}, UnseenCovered},
      {"reaching beyond the area", {{-300, -300, 1300, 950}}, UnseenCovered},
      {"beside the area only", {{1000, 0, 2000, 1000}, {0, -500, 1000, 0}}, Seen},
      {"two halves", {{0, 0, 500, 1000}, {500, 0, 1000, 1000}}, UnseenCovered},
      {"two halves with a gap", {{0, 0, 470, 1000}, {530, 0, 1000, 1000}}, Seen},
      {"one over 60 %", {{0, 0, 600, 1000}}, Seen},
      {"overlaps counted once", {{0, 0, 900, 1000}, {0, 0, 900, 1000}, {100, 0, 900, 1000}}, Seen},
      {"a maximised window and the taskbar's gap", {{-8, -8, 1008, 960}}, UnseenCovered},
  };
  for (const auto& c : cases) EXPECT_EQ(PictureSeen(Covered(c.covers)), c.expected) << c.what;
}

// A window wholly off the screens: clipped to them, its area is empty.
TEST(PictureSeen, AnEmptyAreaIsNotMeasured) {
  SeenInputs inputs = Covered({{-2000, -2000, 2000, 2000}});
  inputs.area = {0, 100, 0, 50};
  EXPECT_EQ(PictureSeen(inputs), Seen);
}

}  // namespace
