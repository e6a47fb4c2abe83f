#include "blocks/block_decode.h"

#include <cstddef>

namespace {

void Expand565(uint16_t c, uint8_t out[4]) {
  const unsigned r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
  out[0] = (uint8_t)((r << 3) | (r >> 2));
  out[1] = (uint8_t)((g << 2) | (g >> 4));
  out[2] = (uint8_t)((b << 3) | (b >> 2));
  out[3] = 255;
}

// The colour half of both formats; BC3 never uses the three-colour mode.
void DecodeColours(const uint8_t block[8], bool allowThreeColour, uint8_t rgba[16][4]) {
  const uint16_t c0 = (uint16_t)(block[0] | (block[1] << 8));
  const uint16_t c1 = (uint16_t)(block[2] | (block[3] << 8));
  uint8_t palette[4][4];
  Expand565(c0, palette[0]);
  Expand565(c1, palette[1]);
  const bool fourColour = c0 > c1 || !allowThreeColour;
  for (int ch = 0; ch < 3; ++ch) {
    const unsigned a = palette[0][ch], b = palette[1][ch];
    if (fourColour) {
      palette[2][ch] = (uint8_t)((2 * a + b + 1) / 3);
      palette[3][ch] = (uint8_t)((a + 2 * b + 1) / 3);
    } else {
      palette[2][ch] = (uint8_t)((a + b + 1) / 2);
      palette[3][ch] = 0;
    }
  }
  palette[2][3] = 255;
  palette[3][3] = fourColour ? 255 : 0;
  for (int i = 0; i < 16; ++i) {
    const unsigned index = (block[4 + i / 4] >> (2 * (i % 4))) & 3;
    for (int ch = 0; ch < 4; ++ch) rgba[i][ch] = palette[index][ch];
  }
}

}  // namespace

void DecodeBC1Block(const uint8_t block[8], uint8_t rgba[16][4]) {
  DecodeColours(block, true, rgba);
}

void DecodeBC3Block(const uint8_t block[16], uint8_t rgba[16][4]) {
  DecodeColours(block + 8, false, rgba);
  const unsigned a0 = block[0], a1 = block[1];
  uint8_t alphas[8] = {(uint8_t)a0, (uint8_t)a1};
  if (a0 > a1) {
    for (unsigned i = 1; i < 7; ++i) alphas[i + 1] = (uint8_t)(((7 - i) * a0 + i * a1 + 3) / 7);
  } else {
    for (unsigned i = 1; i < 5; ++i) alphas[i + 1] = (uint8_t)(((5 - i) * a0 + i * a1 + 2) / 5);
    alphas[6] = 0;
    alphas[7] = 255;
  }
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= (uint64_t)block[2 + i] << (8 * i);
  for (int i = 0; i < 16; ++i) rgba[i][3] = alphas[(bits >> (3 * i)) & 7];
}

std::vector<uint8_t> DecodeBlockImage(const std::vector<uint8_t>& payload, int width, int height,
                                      bool bc3) {
  std::vector<uint8_t> rgba((size_t)width * height * 4);
  const size_t blockBytes = bc3 ? 16 : 8;
  for (int by = 0; by < height / 4; ++by) {
    for (int bx = 0; bx < width / 4; ++bx) {
      uint8_t block[16][4];
      const uint8_t* data = &payload[((size_t)by * (width / 4) + bx) * blockBytes];
      bc3 ? DecodeBC3Block(data, block) : DecodeBC1Block(data, block);
      for (int i = 0; i < 16; ++i)
        for (int ch = 0; ch < 4; ++ch)
          rgba[(((size_t)by * 4 + i / 4) * width + bx * 4 + i % 4) * 4 + ch] = block[i][ch];
    }
  }
  return rgba;
}
