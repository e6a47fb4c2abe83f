// The wall texture before compression: the ornament's coverage in alpha over a faint,
// uneven background, white colour wherever there is coverage.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kWallSize = 2048;

// kWallSize x kWallSize RGBA texels, rows from the top.
std::vector<uint8_t> MakeWallImage();
