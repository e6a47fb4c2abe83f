// Decoding of BC1 and BC3 blocks (the Direct3D block layouts) into RGBA8 texels.
//
// Rounding: every interpolated value is rounded to nearest with integer arithmetic,
// (2a + b + 1) / 3 and (a + b + 1) / 2 for colours, ((n - i) a0 + i a1 + n / 2) / n for
// alpha with n = 7 or 5. End points are expanded from 5 and 6 bits by bit replication.
// A colour that divides exactly (the spot's flat floor) decodes to the same value under
// any rounding a GPU may use.
#pragma once

#include "layer_only.h"

#include <cstdint>
#include <vector>

// Decodes one 4x4 block into 16 RGBA8 texels, row by row (texel i at row i/4, column i%4).
void DecodeBC1Block(const uint8_t block[8], uint8_t rgba[16][4]);
void DecodeBC3Block(const uint8_t block[16], uint8_t rgba[16][4]);

// Decodes a whole image of blocks, row by row, into RGBA8 texels row by row (the asset
// generator's previews and the tests look at the payloads this way).
std::vector<uint8_t> DecodeBlockImage(const std::vector<uint8_t>& payload, int width, int height,
                                      bool bc3);
