// The full-screen vertex shader (fullscreen.hlsl) as a C++ kernel: the clip-space position
// of vertex i of the one triangle that covers the target.
#pragma once

#include "layer_only.h"

#include <cstdint>

void FullscreenVertexPosition(uint32_t vertexId, float position[4]);

// HashShaderSource of the fullscreen.hlsl text this kernel ports.
extern const uint64_t kFullscreenShaderSourceHash;
