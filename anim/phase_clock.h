// The five phase clocks and the seeded random start that sets their rates and offsets.
#pragma once

#include <cstdint>

struct PhaseClock {
  float period;  // seconds of animation time per cycle
  float rate;    // cycle seconds per animation second, in [0.85, 1.15)
  float offset;  // position in the cycle at animation time 0, in [0, period)
};

float UnitFloat24(uint32_t x);
void InitPhaseClocks(bool seedGiven, uint32_t seed);
float ClockPhase(const PhaseClock& clock, double t);
