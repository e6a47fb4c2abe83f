// Block compression of whole images into bare BC1 and BC3 payloads: rows of 4x4 blocks
// from the top, blocks from the left, in the Direct3D layouts.
//
// The search is exhaustive around each block's extremes and uses integer arithmetic
// only, so the bytes are the same on every machine. A block of one colour is encoded
// as an exact third between two end points where one exists, so that it decodes to the
// same value under any rounding of the interpolation.
#pragma once

#include <cstdint>
#include <vector>

// Opaque images only: BC1 blocks always use the four-colour mode.
std::vector<uint8_t> EncodeBC1Image(const uint8_t* rgba, int width, int height);
std::vector<uint8_t> EncodeBC3Image(const uint8_t* rgba, int width, int height);
