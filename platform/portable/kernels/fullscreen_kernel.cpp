#include "kernels/fullscreen_kernel.h"

void FullscreenVertexPosition(uint32_t vertexId, float position[4]) {
  float a = (float)((vertexId & 1) << 1);
  float b = (float)(vertexId & 2);
  position[0] = a * 2.0f - 1.0f;
  position[1] = b * 2.0f - 1.0f;
  position[2] = 0.0f;
  position[3] = 1.0f;
}

// Recomputed whenever fullscreen.hlsl changes, together with the kernel above.
const uint64_t kFullscreenShaderSourceHash = 0xc6df5428c132caf4ull;
