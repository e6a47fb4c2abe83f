// Decodes a whole BC1 or BC3 image, blocks row by row, into RGBA8 texels row by row.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/portable/block_decode.h"

inline std::vector<uint8_t> DecodeBlockImage(const std::vector<uint8_t>& payload, int width,
                                             int height, bool bc3) {
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
