// The background shader's constant buffer C as C++ sees it: 160 bytes in ten registers,
// the layout that background.hlsl declares. The renderer fills it; the software device's
// kernels read it. The one header the two sides share.
#pragma once

#include <cstddef>

struct FrameConstants {
  float uRes[2];
  float uExt[2];
  float uAng;
  float uFarT;
  float uNearT;
  float pad0;
  float uCFill[4];
  float uCFar[4];
  float uCNear[4];
  float uCGrad[4];
  float uBr[4];
  float uGeo[4];
  float uSpot[4];
  float uTone[4];
};
static_assert(sizeof(FrameConstants) == 160, "the constant buffer is 160 bytes");
static_assert(offsetof(FrameConstants, uCFill) == 32, "uCFill starts the third register");
static_assert(offsetof(FrameConstants, uTone) == 144, "uTone is the last register");
