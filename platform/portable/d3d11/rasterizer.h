// Triangle setup and coverage of the software device: Direct3D's viewport transform,
// vertices snapped to 1/256 pixel, edge functions evaluated at pixel centres with the
// top-left fill rule, facing and culling. Coverage comes out as one span per row.
#pragma once

#include "layer_only.h"

#include <cstdint>
#include <vector>

#include "d3d11/d3d11.h"

struct RasterSpan {
  uint32_t y;
  uint32_t x0, x1;  // pixels [x0, x1) of row y
};

// Consecutive spans of a triangle, from firstSpan on, clipped to the columns from x on,
// shaded together; key orders the blocks of a triangle.
struct ShadingBlock {
  uint32_t key;
  uint32_t x;
  size_t firstSpan;
};

// Appends the spans of one triangle (clip-space x, y, z, w per vertex) inside the viewport
// and the target. Triangles with a vertex at w <= 0, a non-finite coordinate, or beyond
// the guard band of +-65536 pixels draw nothing (the device does not clip); so does a
// viewport that is empty or reaches beyond the guard band.
void RasterizeTriangle(const float clip[3][4], const D3D11_VIEWPORT& viewport,
                       uint32_t targetWidth, uint32_t targetHeight, D3D11_CULL_MODE cull,
                       bool frontCounterClockwise, std::vector<RasterSpan>* spans);
