// How often frames are drawn: from the display's refresh rate, the chosen frame rate and the
// system's wish to save power, the sync interval Present waits for and the shortest time
// between the starts of two frames.
#pragma once

#include <cstdint>

struct FramePace {
  uint32_t syncInterval;  // display refreshes per frame, 1 to 4
  double period;          // seconds
};

// refreshHertz: the monitor's refresh rate, 0 or 1 for the hardware's default. frameRate:
// 0 for every display refresh, else frames per second. While saving power, at most 30
// frames a second whatever was chosen.
FramePace ChooseFramePace(float refreshHertz, int32_t frameRate, bool powerSaving);
