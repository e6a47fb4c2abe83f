// Textures as the shader kernels read them: 8-bit RGBA texels in 4 x 4 tiles of 64 bytes
// (one cache line, and exactly one BC block), and bilinear sampling at level 0 with
// Direct3D's conventions: texel centres at (i + 0.5) / size, so the filter footprint starts
// at u * size - 0.5, weights from the fraction, wrap or clamp addressing per axis.
#pragma once

#include "layer_only.h"

#include <cmath>
#include <cstdint>

enum class TextureAddress : uint8_t { Wrap, Clamp };

struct SampledTexture {
  const uint8_t* tiles = nullptr;  // null: an unbound slot, which reads as zero
  int32_t width = 0;
  int32_t height = 0;
  int32_t tilesPerRow = 0;  // ceil(width / 4)
  TextureAddress addressU = TextureAddress::Clamp;
  TextureAddress addressV = TextureAddress::Clamp;
  // Optional, for textures whose texels are all grey (r = g = b) and whose sides are powers
  // of two up to 4096: the texels again in two layouts, one after the other
  // (BuildGreyLayouts), each reading a whole filter footprint with one 64-bit load within
  // one cache line where the layouts start on one (as the device's large textures do).
  //
  // The grey columns: grey and alpha in 32-bit words, word (x, y) holding grey and alpha of
  // (x, y) and then of (x + 1, y), wrapped. The words run down columns of 8 rows, and each
  // column's last row is the next column's first (column k of texel column x holds rows
  // 7k .. 7k + 7, wrapped), so that the word of the row below lies right after any word.
  //
  // The alpha tiles, for reads of coverage alone: tiles of 5 x 12 alpha bytes, 5 to a row,
  // in 64 bytes; tile (i, k) holds texel columns 4i .. 4i + 4 of rows 11k .. 11k + 11,
  // wrapped, overlapping the next tile across by a column and down by a row, the tiles of
  // a row of tiles one after the other. The footprint at (x, y) is bytes 0, 1, 5 and 6 from
  // row y % 11 and column x % 4 of tile (x / 4, y / 11), and a cache line holds the
  // footprints of 44 texels against the columns' 14.
  const uint8_t* grey = nullptr;
};

inline const uint8_t* TexelAddress(const SampledTexture& texture, int32_t x, int32_t y) {
  int32_t tile = (y >> 2) * texture.tilesPerRow + (x >> 2);
  return texture.tiles + (((tile << 4) + ((y & 3) << 2) + (x & 3)) << 2);
}

inline bool IsPowerOfTwo(int32_t size) { return size > 0 && (size & (size - 1)) == 0; }

// Sides up to 4096 keep every offset well within 32 bits and let a kernel divide a row by 7
// or by 11 with a 16-bit multiplication.
inline bool FitsGreyColumns(int32_t width, int32_t height) {
  return IsPowerOfTwo(width) && IsPowerOfTwo(height) && width <= 4096 && height <= 4096;
}

inline size_t GreyColumnRows(int32_t height) { return (size_t)(height + 6) / 7; }
inline size_t GreyColumnsBytes(int32_t width, int32_t height) {
  return GreyColumnRows(height) * (size_t)width * 32;
}

// Byte offset of word (x, y): x's column of rows 7k .. 7k + 7 for k = y / 7.
inline size_t GreyOffset(int32_t width, int32_t x, int32_t y) {
  const size_t k = (size_t)(y / 7);
  return k * (size_t)width * 32 + (size_t)x * 32 + (size_t)(y - 7 * (int32_t)k) * 4;
}

inline size_t AlphaTilesPerRow(int32_t width) { return (size_t)(width + 3) / 4; }
inline size_t AlphaTileRows(int32_t height) { return (size_t)(height + 10) / 11; }

// Fills `grey` with the grey columns and the alpha tiles of a texture and returns true, or
// leaves it empty and returns false when some texel has colour or the sides do not fit.
template <class Bytes>  // a vector of uint8_t
bool BuildGreyLayouts(const SampledTexture& texture, Bytes* grey) {
  const int32_t w = texture.width, h = texture.height;
  grey->clear();
  if (!FitsGreyColumns(w, h)) return false;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* texel = TexelAddress(texture, x, y);
      if (texel[0] != texel[1] || texel[1] != texel[2]) return false;
    }
  const size_t columnsBytes = GreyColumnsBytes(w, h);
  grey->assign(columnsBytes + AlphaTileRows(h) * AlphaTilesPerRow(w) * 64, 0);
  for (int32_t k = 0; k < (int32_t)GreyColumnRows(h); ++k)
    for (int32_t x = 0; x < w; ++x)
      for (int32_t row = 0; row < 8; ++row) {
        const int32_t y = (7 * k + row) % h;
        const uint8_t* left = TexelAddress(texture, x, y);
        const uint8_t* right = TexelAddress(texture, (x + 1) % w, y);
        uint8_t* to = grey->data() + GreyOffset(w, x, 7 * k) + 4 * row;
        to[0] = left[0];
        to[1] = left[3];
        to[2] = right[0];
        to[3] = right[3];
      }
  uint8_t* tile = grey->data() + columnsBytes;
  for (int32_t k = 0; k < (int32_t)AlphaTileRows(h); ++k)
    for (int32_t i = 0; i < (int32_t)AlphaTilesPerRow(w); ++i, tile += 64)
      for (int32_t row = 0; row < 12; ++row)
        for (int32_t column = 0; column < 5; ++column)
          tile[5 * row + column] =
              TexelAddress(texture, (4 * i + column) & (w - 1), (11 * k + row) & (h - 1))[3];
  return true;
}

// Direct3D turns a non-finite or huge texel position into a defined one before it becomes
// an index: NaN reads as 0, infinities and magnitudes beyond 2^24 (where a float has no
// fraction left) saturate there.
inline float SafeTexelPosition(float position) {
  constexpr float kLimit = 16777216.0f;
  if (!(position > -kLimit)) return position != position ? 0.0f : -kLimit;
  if (!(position < kLimit)) return kLimit;
  return position;
}

// floor for the kernels: the same value as std::floor (up to the sign of a zero result),
// without a library call on processors lacking a rounding instruction.
inline float FloorF(float v) {
  if (!(std::fabs(v) < 8388608.0f)) return v;  // already whole, or NaN
  float t = (float)(int32_t)v;
  return t > v ? t - 1.0f : t;
}

inline int32_t AddressTexel(int32_t index, int32_t size, TextureAddress mode) {
  if (mode == TextureAddress::Wrap) {
    if (IsPowerOfTwo(size)) return index & (size - 1);
    int32_t wrapped = index % size;
    return wrapped < 0 ? wrapped + size : wrapped;
  }
  return index < 0 ? 0 : (index >= size ? size - 1 : index);
}

// Bilinear sample at level 0: rgba[4] in 0..1.
inline void SampleBilinear(const SampledTexture& texture, float u, float v, float rgba[4]) {
  if (!texture.tiles) {
    rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
    return;
  }
  float x = SafeTexelPosition(u * (float)texture.width - 0.5f);
  float y = SafeTexelPosition(v * (float)texture.height - 0.5f);
  float x0 = FloorF(x), y0 = FloorF(y);
  float fx = x - x0, fy = y - y0;
  int32_t ix = (int32_t)x0, iy = (int32_t)y0;
  int32_t xa = AddressTexel(ix, texture.width, texture.addressU);
  int32_t xb = AddressTexel(ix + 1, texture.width, texture.addressU);
  int32_t ya = AddressTexel(iy, texture.height, texture.addressV);
  int32_t yb = AddressTexel(iy + 1, texture.height, texture.addressV);
  const uint8_t* t00 = TexelAddress(texture, xa, ya);
  const uint8_t* t10 = TexelAddress(texture, xb, ya);
  const uint8_t* t01 = TexelAddress(texture, xa, yb);
  const uint8_t* t11 = TexelAddress(texture, xb, yb);
  // Filtered in units of the 8-bit steps, then one correctly rounded division: a texel
  // centre reads exactly value / 255, as Direct3D converts unorm texels.
  float gx = 1.0f - fx, gy = 1.0f - fy;
  for (int c = 0; c < 4; ++c) {
    float top = (float)t00[c] * gx + (float)t10[c] * fx;
    float bottom = (float)t01[c] * gx + (float)t11[c] * fx;
    rgba[c] = (top * gy + bottom * fy) / 255.0f;
  }
}
