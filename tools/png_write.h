// Minimal PNG encoding (8-bit grey or 8-bit RGBA, one IDAT, zlib at its best level):
// the same pixels always give the same bytes, with no time stamps or other metadata.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::vector<uint8_t> EncodePng(const uint8_t* pixels, int width, int height, int channels);
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
