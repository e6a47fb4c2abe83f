#include "anim/phase_clock.h"

#include <cmath>
#include <random>

#include "app/app_state.h"

float UnitFloat24(uint32_t x) { return (float)(x >> 8) * 0x1p-24f; }

// The generator lives only here: ten draws, a rate then an offset per clock, in the
// fixed order rotation, near, far, colour, menu. A given seed reproduces every frame.
void InitPhaseClocks(bool seedGiven, uint32_t seed) {
  if (!seedGiven) seed = (uint32_t)GetTickCount64() ^ (uint32_t)GetCurrentProcessId();
  std::mt19937 generator(seed);
  struct {
    PhaseClock* clock;
    float period;
  } clocks[] = {{&gApp.rotationClock, 300.0f},
                {&gApp.nearClock, 90.0f},
                {&gApp.farClock, 120.0f},
                {&gApp.colourClock, 20.0f},
                {&gApp.menuClock, 12.0f}};
  for (auto& entry : clocks) {
    float u = UnitFloat24((uint32_t)generator());
    float v = UnitFloat24((uint32_t)generator());
    entry.clock->period = entry.period;
    entry.clock->rate = u * 0.3f + 0.85f;
    entry.clock->offset = v * entry.period;
  }
}

// Double precision until the end: the animation time grows without bound and a float
// product would lose the phase within hours.
float ClockPhase(const PhaseClock& clock, double t) {
  double period = clock.period;
  double x = (double)clock.rate * t + (double)clock.offset;
  double r = std::fmod(x, period);
  if (r < 0) r += period;
  return (float)r;
}
