// The CPU image of the background shader's 160-byte constant buffer C.
#pragma once

#include <cstddef>
#include <cstdint>

#include "anim/anim_values.h"

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

// The scene-unit half-extent of a width x height target: the shorter side spans 2K units,
// no visible point lies more than 11.4 units from the centre.
void ComputeViewExtent(uint32_t width, uint32_t height, float ext[2]);

// The whole record for one frame: the renderer's fields from the target size, scene and
// tone, the animated fields copied unchanged from values.
FrameConstants BuildFrameConstants(uint32_t width, uint32_t height, int32_t scene, int32_t tone,
                                   const AnimValues& values);
