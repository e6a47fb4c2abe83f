// The background kernel in SIMD lanes (AVX-512, AVX2 or SSE4, chosen at run time by the
// processor; Highway's portable fallback elsewhere). The same single-precision operations
// in the same order as ShadeBackgroundSpan, so the bytes are the same.
#pragma once

#include "layer_only.h"

#include <cstdint>

#include "kernels/background_kernel.h"

// Whether the vector kernel can shade this frame: both textures bound, and every wrapped
// axis a power of two in size (wrapping is then a mask). A grey wall read with wrapping is
// read from its grey columns and alpha tiles, any other from its RGBA tiles.
bool CanShadeBackgroundVector(const BackgroundFrame& frame);

// Shades pixels [x0, x1) of row y as ShadeBackgroundSpan does.
using BackgroundSpanShader = void (*)(const BackgroundFrame& frame, uint32_t y, uint32_t x0,
                                      uint32_t x1, uint8_t* rgba);

// The vector kernel's span shader for this frame, chosen once per draw: the instruction set
// (the processor's best, or PortableSetKernelTarget's) and the wall's layout. Requires
// CanShadeBackgroundVector(frame).
BackgroundSpanShader ChooseBackgroundSpanVector(const BackgroundFrame& frame);

// One span through ChooseBackgroundSpanVector.
void ShadeBackgroundSpanVector(const BackgroundFrame& frame, uint32_t y, uint32_t x0, uint32_t x1,
                               uint8_t* rgba);
