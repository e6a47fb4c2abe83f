// What the vector background kernel works out in scalar arithmetic before its lanes run: how
// a frame's wall is read, and the quantities each row shares across its pixels, in the
// scalar kernel's operations.
#pragma once

#include "layer_only.h"

#include <cstdint>

#include "kernels/background_kernel.h"

// The grey columns and alpha tiles wrap both ways: they are read only where the wall wraps.
bool UsesGreyWall(const SampledTexture& wall);

// On the wall, where wc lies in [0, 5.12], the fine layer reads within 6 texture widths of
// the origin, the far one within |farRepeat| + |farT|, the near one within 2 + |nearT|.
// Within 2^21 texels (half the reach of the mantissa trick), whatever the rounding, every
// read is ordinary. NaN fails the comparisons.
bool WallPositionsOrdinary(const BackgroundFrame& frame);

struct BackgroundRowPlan {
  float saPy, caPy;  // the row's part of the rotated position q
  bool band;         // the bottom band applies to the row
  float bandFade;    // f, the band's weight
  bool spotInside;   // the row crosses the spot's square; if not, the rest is unset
  int32_t spotTexelRows[2];  // the spot's two texel rows, and the weight between them
  float spotFy;
};

BackgroundRowPlan PlanBackgroundRow(const BackgroundFrame& frame, uint32_t y);

// Where a block of pixels centred at (x, y) reads the wall's fine layer, within one repeat
// of its texture, as a key in Morton order: blocks with nearby keys read nearby texels. The
// device shades the blocks of a draw by increasing key.
uint32_t BackgroundBlockKey(const BackgroundFrame& frame, float x, float y);
