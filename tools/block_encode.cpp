#include "tools/block_encode.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>

namespace {

using Texels = std::array<std::array<int, 4>, 16>;

// The 5- and 6-bit channel levels as the decoder expands them.
int Expand(int level, int bits) {
  return bits == 5 ? (level << 3) | (level >> 2) : (level << 2) | (level >> 4);
}

// Interpolation as the decoder rounds it.
int Third(int a, int b) { return (2 * a + b + 1) / 3; }

struct Endpoints {
  int level[2][3];  // [end point][channel] in 5/6/5 bits
};

uint16_t Pack(const int level[3]) {
  return (uint16_t)((level[0] << 11) | (level[1] << 5) | level[2]);
}

constexpr int kBits[3] = {5, 6, 5};

// Palette and indices of a colour block; returns the summed squared error.
long ColourError(const Texels& t, const Endpoints& e, uint8_t index[16]) {
  int palette[4][3];
  for (int ch = 0; ch < 3; ++ch) {
    const int a = Expand(e.level[0][ch], kBits[ch]), b = Expand(e.level[1][ch], kBits[ch]);
    palette[0][ch] = a;
    palette[1][ch] = b;
    palette[2][ch] = Third(a, b);
    palette[3][ch] = Third(b, a);
  }
  long total = 0;
  for (int i = 0; i < 16; ++i) {
    long best = LONG_MAX;
    for (int p = 0; p < 4; ++p) {
      long err = 0;
      for (int ch = 0; ch < 3; ++ch) err += (long)(t[i][ch] - palette[p][ch]) * (t[i][ch] - palette[p][ch]);
      if (err < best) {
        best = err;
        index[i] = (uint8_t)p;
      }
    }
    total += best;
  }
  return total;
}

// How far the decoded red and green of a grey block drift apart.
long ChannelSpread(const Endpoints& e, const uint8_t index[16]) {
  const int r0 = Expand(e.level[0][0], 5), r1 = Expand(e.level[1][0], 5);
  const int g0 = Expand(e.level[0][1], 6), g1 = Expand(e.level[1][1], 6);
  const int red[4] = {r0, r1, Third(r0, r1), Third(r1, r0)};
  const int green[4] = {g0, g1, Third(g0, g1), Third(g1, g0)};
  long spread = 0;
  for (int i = 0; i < 16; ++i) spread += (long)(red[index[i]] - green[index[i]]) * (red[index[i]] - green[index[i]]);
  return spread;
}

// Levels a and b whose third (a + 2b) / 3 is exactly v, closest together; or, failing
// that, the nearest third. A level equal to v is used for both.
std::array<int, 2> FindSingleColourLevels(int v, int bits) {
  const int top = (1 << bits) - 1;
  int bestErr = INT_MAX, bestSpread = INT_MAX;
  std::array<int, 2> best{};
  for (int i = 0; i <= top; ++i) {
    for (int j = 0; j <= top; ++j) {
      const int ea = Expand(i, bits), eb = Expand(j, bits);
      const int sum = ea + 2 * eb;
      const int err = sum % 3 == 0 ? std::abs(sum / 3 - v) * 3 : std::abs(sum - 3 * v) + 1;
      const int spread = std::abs(ea - eb);
      if (err < bestErr || (err == bestErr && spread < bestSpread)) {
        bestErr = err;
        bestSpread = spread;
        best = {i, j};
      }
    }
  }
  return best;
}

void SingleColourLevels(int v, int bits, int& a, int& b) {
  static const auto tables = [] {
    std::array<std::array<std::array<int, 2>, 256>, 2> t{};
    for (int v = 0; v < 256; ++v) t[0][v] = FindSingleColourLevels(v, 5), t[1][v] = FindSingleColourLevels(v, 6);
    return t;
  }();
  const std::array<int, 2>& levels = tables[bits == 5 ? 0 : 1][v];
  a = levels[0];
  b = levels[1];
}

// The 8 colour bytes of a block (the colour half of BC3, or a whole BC1 block).
void EncodeColour(const Texels& t, uint8_t out[8]) {
  Endpoints best{};
  uint8_t bestIndex[16] = {};
  bool uniform = true;
  for (int i = 1; i < 16; ++i)
    for (int ch = 0; ch < 3; ++ch) uniform = uniform && t[i][ch] == t[0][ch];
  if (uniform) {
    for (int ch = 0; ch < 3; ++ch) SingleColourLevels(t[0][ch], kBits[ch], best.level[0][ch], best.level[1][ch]);
    std::fill(bestIndex, bestIndex + 16, 3);
  } else {
    // Combinations of the levels around each channel's maximum (end point 0) and minimum
    // (end point 1). Grey blocks try three levels each and keep red and blue equal, so
    // that they stay grey: their error also counts any difference between the channels.
    bool grey = true;
    for (int i = 0; i < 16; ++i) grey = grey && t[i][0] == t[i][1] && t[i][1] == t[i][2];
    int lo[3], hi[3];
    for (int ch = 0; ch < 3; ++ch) {
      int mn = 255, mx = 0;
      for (int i = 0; i < 16; ++i) mn = std::min(mn, t[i][ch]), mx = std::max(mx, t[i][ch]);
      const int top = (1 << kBits[ch]) - 1;
      hi[ch] = mx * top / 255 - (grey ? 1 : 0);
      lo[ch] = mn * top / 255 - (grey ? 1 : 0);
    }
    const int options = grey ? 3 : 2, combos = grey ? 81 : 64;
    long bestErr = LONG_MAX;
    for (int combo = 0; combo < combos; ++combo) {
      Endpoints e{};
      int rest = combo;
      for (int ch = 0; ch < 3; ++ch) {
        if (grey && ch == 2) {
          e.level[0][2] = e.level[0][0];
          e.level[1][2] = e.level[1][0];
          continue;
        }
        const int top = (1 << kBits[ch]) - 1;
        e.level[0][ch] = std::clamp(hi[ch] + rest % options, 0, top);
        rest /= options;
        e.level[1][ch] = std::clamp(lo[ch] + rest % options, 0, top);
        rest /= options;
      }
      uint8_t index[16];
      long err = ColourError(t, e, index);
      if (grey) err += ChannelSpread(e, index);
      if (err < bestErr) {
        bestErr = err;
        best = e;
        std::copy(index, index + 16, bestIndex);
      }
    }
  }
  uint16_t c0 = Pack(best.level[0]), c1 = Pack(best.level[1]);
  if (c0 == c1) {
    // One colour: index 0 reads end point 0 in either mode.
    std::fill(bestIndex, bestIndex + 16, 0);
  } else if (c0 < c1) {
    // The four-colour mode needs c0 > c1: swap the end points and their indices.
    std::swap(c0, c1);
    for (uint8_t& i : bestIndex) i ^= 1;
  }
  out[0] = (uint8_t)c0;
  out[1] = (uint8_t)(c0 >> 8);
  out[2] = (uint8_t)c1;
  out[3] = (uint8_t)(c1 >> 8);
  for (int row = 0; row < 4; ++row) {
    out[4 + row] = 0;
    for (int col = 0; col < 4; ++col) out[4 + row] |= (uint8_t)(bestIndex[row * 4 + col] << (2 * col));
  }
}

void AlphaPalette(int a0, int a1, int palette[8]) {
  palette[0] = a0;
  palette[1] = a1;
  if (a0 > a1) {
    for (int i = 1; i < 7; ++i) palette[i + 1] = ((7 - i) * a0 + i * a1 + 3) / 7;
  } else {
    for (int i = 1; i < 5; ++i) palette[i + 1] = ((5 - i) * a0 + i * a1 + 2) / 5;
    palette[6] = 0;
    palette[7] = 255;
  }
}

// Summed squared error of the block with these end points, or any value at or above
// `limit` as soon as the sum reaches it.
long AlphaError(const Texels& t, int a0, int a1, uint8_t index[16], long limit) {
  int palette[8];
  AlphaPalette(a0, a1, palette);
  long total = 0;
  for (int i = 0; i < 16 && total < limit; ++i) {
    int best = INT_MAX;
    for (int p = 0; p < 8; ++p) {
      const int err = (t[i][3] - palette[p]) * (t[i][3] - palette[p]);
      if (err < best) {
        best = err;
        index[i] = (uint8_t)p;
      }
    }
    total += best;
  }
  return total;
}

// The 8 alpha bytes of a BC3 block. A block spanning at most 7 steps is exact with its
// extremes as the eight-value end points; otherwise every pair of the block's own values
// is tried as end points in both modes, and the extremes nudged by up to two steps.
void EncodeAlpha(const Texels& t, uint8_t out[8]) {
  int values[16], count = 0;
  for (int i = 0; i < 16; ++i) values[count++] = t[i][3];
  std::sort(values, values + 16);
  count = (int)(std::unique(values, values + 16) - values);
  const int mn = values[0], mx = values[count - 1];

  int bestA0 = mx, bestA1 = mn;
  uint8_t bestIndex[16] = {};
  long bestErr = LONG_MAX;
  auto consider = [&](int a0, int a1) {
    if (a0 < 0 || a0 > 255 || a1 < 0 || a1 > 255 || bestErr == 0) return;
    uint8_t index[16];
    const long err = AlphaError(t, a0, a1, index, bestErr);
    if (err < bestErr) {
      bestErr = err;
      bestA0 = a0;
      bestA1 = a1;
      std::copy(index, index + 16, bestIndex);
    }
  };
  consider(mx, mn);  // eight values, or one value when mn == mx
  if (mx - mn > 7) {
    for (int d0 = -2; d0 <= 2; ++d0)
      for (int d1 = -2; d1 <= 2; ++d1)
        if (mx + d0 > mn + d1) consider(mx + d0, mn + d1);
    for (int i = 0; i < count; ++i) {
      for (int j = i; j < count; ++j) {
        if (j > i) consider(values[j], values[i]);  // eight values
        consider(values[i], values[j]);             // six values with 0 and 255
      }
    }
  }
  out[0] = (uint8_t)bestA0;
  out[1] = (uint8_t)bestA1;
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= (uint64_t)bestIndex[i] << (3 * i);
  for (int i = 0; i < 6; ++i) out[2 + i] = (uint8_t)(bits >> (8 * i));
}

template <typename EncodeBlock>
std::vector<uint8_t> EncodeImage(const uint8_t* rgba, int width, int height, int blockBytes,
                                 EncodeBlock encode) {
  std::vector<uint8_t> out((size_t)(width / 4) * (height / 4) * blockBytes);
  uint8_t* block = out.data();
  for (int by = 0; by < height / 4; ++by) {
    for (int bx = 0; bx < width / 4; ++bx, block += blockBytes) {
      Texels t;
      for (int i = 0; i < 16; ++i) {
        const uint8_t* p = rgba + (((size_t)(by * 4 + i / 4) * width) + bx * 4 + i % 4) * 4;
        for (int ch = 0; ch < 4; ++ch) t[i][ch] = p[ch];
      }
      encode(t, block);
    }
  }
  return out;
}

}  // namespace

std::vector<uint8_t> EncodeBC1Image(const uint8_t* rgba, int width, int height) {
  return EncodeImage(rgba, width, height, 8, [](const Texels& t, uint8_t* block) { EncodeColour(t, block); });
}

std::vector<uint8_t> EncodeBC3Image(const uint8_t* rgba, int width, int height) {
  return EncodeImage(rgba, width, height, 16, [](const Texels& t, uint8_t* block) {
    EncodeAlpha(t, block);
    EncodeColour(t, block + 8);
  });
}
