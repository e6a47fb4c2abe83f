// The background pixel shader (background.hlsl) as a C++ kernel for the software device:
// the same quantities, branches, constants and 8-bit steps in the same order, in single
// precision. Everything that depends only on the constant buffer is computed once per draw
// by PrepareBackgroundFrame; the per-pixel work is ShadeBackgroundPixel.
#pragma once

#include "layer_only.h"

#include <cstdint>

#include "constant_buffer.h"
#include "kernels/sampled_texture.h"

// sin and cos of an angle by the same range reduction and polynomials as the HLSL.
void SinCosPolynomial(float angle, float* sine, float* cosine);

struct BackgroundFrame {
  float resX, resY, extX, extY;
  float sa, ca;
  float farT, nearT;
  float farRepeat, spotScale, bandCentre, bandHeight;  // uGeo.y, uGeo.z, uGeo.w, uSpot.w
  float spotX, spotY;
  bool light;
  float fill[3];      // normal: the stored fill colour
  float farTint[3];   // normal: uCFar * uBr.y; light: the far layer's light tint
  float nearTint[3];  // normal: uCNear * uBr.z; light: the near layer's light tint
  float gradient[3];  // normal: uCGrad * uBr.w
  SampledTexture wall;
  SampledTexture spot;
  uint64_t serial;  // new for every prepared frame, so that spans may share work per frame
};

void PrepareBackgroundFrame(const FrameConstants& constants, const SampledTexture& wall,
                            const SampledTexture& spot, BackgroundFrame* frame);

// The position-dependent quantities of one pixel, before any texture is read.
struct BackgroundCoordinates {
  float n[2], p[2], q[2], wc[2], t[2];
  float fine[2], far[2], near[2];
  float sp[2], spotTexture[2];
  float g, f;
  bool insideWall, insideSpot, bandApplies;
};

void ComputeBackgroundCoordinates(const BackgroundFrame& frame, float x, float y,
                                  BackgroundCoordinates* out);

// The shader's output at SV_Position (x, y): rgba, each a multiple of 1/255, alpha 1.
void ShadeBackgroundPixel(const BackgroundFrame& frame, float x, float y, float rgba[4]);

// The 8-bit target's store of a shader output channel (NaN stores as 0).
uint8_t FloatToUnorm8(float value);

// Shades pixels [x0, x1) of row y (pixel centres at +0.5) into rgba, 4 bytes per pixel.
void ShadeBackgroundSpan(const BackgroundFrame& frame, uint32_t y, uint32_t x0, uint32_t x1,
                         uint8_t* rgba);

// HashShaderSource of the background.hlsl text this kernel ports.
extern const uint64_t kBackgroundShaderSourceHash;
