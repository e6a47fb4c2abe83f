#include <gtest/gtest.h>

#include <cstdint>

#include "platform/portable/blocks/block_decode.h"

namespace {

// Two-bit colour indices for the rows of a block, texel 0 in the low bits.
void SetColourIndices(uint8_t* indices, const int (&index)[16]) {
  for (int row = 0; row < 4; ++row) {
    indices[row] = 0;
    for (int col = 0; col < 4; ++col) indices[row] |= (uint8_t)(index[row * 4 + col] << (2 * col));
  }
}

void SetAlphaIndices(uint8_t* block, const int (&index)[16]) {
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= (uint64_t)index[i] << (3 * i);
  for (int i = 0; i < 6; ++i) block[2 + i] = (uint8_t)(bits >> (8 * i));
}

void ExpectTexel(const uint8_t (&rgba)[16][4], int i, int r, int g, int b, int a) {
  EXPECT_EQ(rgba[i][0], r) << "texel " << i;
  EXPECT_EQ(rgba[i][1], g) << "texel " << i;
  EXPECT_EQ(rgba[i][2], b) << "texel " << i;
  EXPECT_EQ(rgba[i][3], a) << "texel " << i;
}

TEST(BlockDecode, Bc1FourColourPaletteAndTexelOrder) {
  // Pure red and pure blue end points; c0 > c1 selects four colours.
  uint8_t block[8] = {0x00, 0xF8, 0x1F, 0x00};
  SetColourIndices(block + 4, {0, 1, 2, 3, 1, 1, 1, 1, 0, 0, 0, 0, 3, 3, 3, 2});
  uint8_t rgba[16][4];
  DecodeBC1Block(block, rgba);
  ExpectTexel(rgba, 0, 255, 0, 0, 255);
  ExpectTexel(rgba, 1, 0, 0, 255, 255);
  ExpectTexel(rgba, 2, 170, 0, 85, 255);
  ExpectTexel(rgba, 3, 85, 0, 170, 255);
  ExpectTexel(rgba, 5, 0, 0, 255, 255);
  ExpectTexel(rgba, 10, 255, 0, 0, 255);
  ExpectTexel(rgba, 14, 85, 0, 170, 255);
  ExpectTexel(rgba, 15, 170, 0, 85, 255);
}

TEST(BlockDecode, Bc1ThreeColourModeHasTransparentBlack) {
  // c0 <= c1 (here also the equal case) selects the midpoint and transparent black.
  uint8_t block[8] = {0x1F, 0x00, 0x00, 0xF8};
  SetColourIndices(block + 4, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3});
  uint8_t rgba[16][4];
  DecodeBC1Block(block, rgba);
  ExpectTexel(rgba, 0, 0, 0, 255, 255);
  ExpectTexel(rgba, 1, 255, 0, 0, 255);
  ExpectTexel(rgba, 2, 128, 0, 128, 255);
  ExpectTexel(rgba, 3, 0, 0, 0, 0);

  const uint8_t equal[8] = {0x55, 0x55, 0x55, 0x55, 0xFF, 0xFF, 0xFF, 0xFF};
  DecodeBC1Block(equal, rgba);
  for (int i = 0; i < 16; ++i) ExpectTexel(rgba, i, 0, 0, 0, 0);
}

TEST(BlockDecode, Bc1EndPointsExpandByBitReplication) {
  // White, and the spot's floor end points (99, 77, 99) and (66, 77, 66) at index 3.
  const uint8_t white[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  uint8_t rgba[16][4];
  DecodeBC1Block(white, rgba);
  ExpectTexel(rgba, 7, 255, 255, 255, 255);

  // Interpolation rounds to nearest: (2 * 255 + 8) / 3 = 172.67 and (255 + 2 * 8) / 3 = 90.33.
  uint8_t rounding[8] = {0xFF, 0xFF, 0x41, 0x08};
  SetColourIndices(rounding + 4, {0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  DecodeBC1Block(rounding, rgba);
  ExpectTexel(rgba, 1, 8, 8, 8, 255);
  ExpectTexel(rgba, 2, 173, 173, 173, 255);
  ExpectTexel(rgba, 3, 90, 90, 90, 255);

  const uint16_t c0 = (12 << 11) | (19 << 5) | 12, c1 = (8 << 11) | (19 << 5) | 8;
  const uint8_t floor[8] = {(uint8_t)c0, (uint8_t)(c0 >> 8), (uint8_t)c1, (uint8_t)(c1 >> 8),
                            0xFF, 0xFF, 0xFF, 0xFF};
  DecodeBC1Block(floor, rgba);
  for (int i = 0; i < 16; ++i) ExpectTexel(rgba, i, 77, 77, 77, 255);
  SetColourIndices((uint8_t*)floor + 4, {0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  DecodeBC1Block(floor, rgba);
  ExpectTexel(rgba, 0, 99, 77, 99, 255);
  ExpectTexel(rgba, 1, 66, 77, 66, 255);
  ExpectTexel(rgba, 2, 88, 77, 88, 255);
}

// a0 > a1 gives eight interpolated values, a0 <= a1 six with 0 and 255 at indices 6 and 7.
TEST(BlockDecode, Bc3AlphaEightAndSixValueModes) {
  const struct {
    uint8_t a0, a1;
    int palette[8];
  } modes[] = {{255, 0, {255, 0, 219, 182, 146, 109, 73, 36}},
               {10, 210, {10, 210, 50, 90, 130, 170, 0, 255}}};
  for (const auto& mode : modes) {
    uint8_t block[16] = {mode.a0, mode.a1};
    // Texel 15, whose index sits in the top bits of byte 7, takes index 7.
    SetAlphaIndices(block, {0, 1, 2, 3, 4, 5, 6, 7, 6, 6, 6, 6, 7, 7, 7, 7});
    uint8_t rgba[16][4];
    DecodeBC3Block(block, rgba);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(rgba[i][3], mode.palette[i]) << "texel " << i;
    EXPECT_EQ(rgba[11][3], mode.palette[6]);
    EXPECT_EQ(rgba[15][3], mode.palette[7]);
  }
}

TEST(BlockDecode, Bc3ColourIsAlwaysFourColour) {
  // c0 < c1 would be the three-colour mode in BC1; in BC3 index 3 stays an opaque colour.
  uint8_t block[16] = {255, 255, 0, 0, 0, 0, 0, 0, 0x1F, 0x00, 0x00, 0xF8};
  SetColourIndices(block + 12, {3, 2, 1, 0, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3});
  uint8_t rgba[16][4];
  DecodeBC3Block(block, rgba);
  ExpectTexel(rgba, 0, 170, 0, 85, 255);
  ExpectTexel(rgba, 1, 85, 0, 170, 255);
  ExpectTexel(rgba, 2, 255, 0, 0, 255);
  ExpectTexel(rgba, 3, 0, 0, 255, 255);
}

}  // namespace
