// The content hash by which the software device's shader compiler recognises the HLSL
// sources it has kernels for (64-bit FNV-1a over the bytes).
#pragma once

#include "layer_only.h"

#include <cstddef>
#include <cstdint>

inline uint64_t HashShaderSource(const void* data, size_t size) {
  const unsigned char* bytes = (const unsigned char*)data;
  uint64_t hash = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}
