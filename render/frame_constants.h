// The frame's constant-buffer record, built from the target size, scene, tone and the
// animated values.
#pragma once

#include <cstdint>

#include "anim/anim_values.h"
#include "shaders/constant_buffer.h"

// The scene-unit half-extent of a width x height target: the shorter side spans 2K units,
// no visible point lies more than 11.4 units from the centre.
void ComputeViewExtent(uint32_t width, uint32_t height, float ext[2]);

// The whole record for one frame: the renderer's fields from the target size, scene and
// tone, the animated fields copied unchanged from values.
FrameConstants BuildFrameConstants(uint32_t width, uint32_t height, int32_t scene, int32_t tone,
                                   const AnimValues& values);
