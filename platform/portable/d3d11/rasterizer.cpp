#include "d3d11/rasterizer.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t kSubpixels = 256;
constexpr float kGuardBand = 65536.0f;

int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  return (a % b != 0 && a < 0) ? q - 1 : q;
}
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

struct Edge {
  int64_t dx, dy, ax, ay;
  int64_t bias;  // 0 on top and left edges (a centre on them is covered), 1 elsewhere
};

}  // namespace

void RasterizeTriangle(const float clip[3][4], const D3D11_VIEWPORT& viewport,
                       uint32_t targetWidth, uint32_t targetHeight, D3D11_CULL_MODE cull,
                       bool frontCounterClockwise, std::vector<RasterSpan>* spans) {
  const float box[4] = {viewport.TopLeftX, viewport.TopLeftY, viewport.Width, viewport.Height};
  for (float v : box)
    if (!(std::fabs(v) <= kGuardBand)) return;
  if (!(viewport.Width > 0.0f) || !(viewport.Height > 0.0f)) return;
  int64_t vx[3], vy[3];
  for (int i = 0; i < 3; ++i) {
    float w = clip[i][3];
    if (!(w > 0.0f)) return;
    float sx = (clip[i][0] / w + 1.0f) * viewport.Width * 0.5f + viewport.TopLeftX;
    float sy = (1.0f - clip[i][1] / w) * viewport.Height * 0.5f + viewport.TopLeftY;
    if (!(std::fabs(sx) <= kGuardBand) || !(std::fabs(sy) <= kGuardBand)) return;
    vx[i] = (int64_t)std::lround(sx * (float)kSubpixels);
    vy[i] = (int64_t)std::lround(sy * (float)kSubpixels);
  }
  // Screen y grows downwards, so a positive area is a clockwise triangle on screen.
  int64_t area = (vx[1] - vx[0]) * (vy[2] - vy[0]) - (vy[1] - vy[0]) * (vx[2] - vx[0]);
  if (area == 0) return;
  bool clockwise = area > 0;
  bool front = clockwise != frontCounterClockwise;
  if ((cull == D3D11_CULL_BACK && !front) || (cull == D3D11_CULL_FRONT && front)) return;
  if (!clockwise) {
    std::swap(vx[1], vx[2]);
    std::swap(vy[1], vy[2]);
  }

  Edge edges[3];
  for (int i = 0; i < 3; ++i) {
    int j = (i + 1) % 3;
    Edge& e = edges[i];
    e.dx = vx[j] - vx[i];
    e.dy = vy[j] - vy[i];
    e.ax = vx[i];
    e.ay = vy[i];
    // In this winding a top edge runs exactly horizontally to the right, a left edge upwards.
    bool topLeft = e.dy < 0 || (e.dy == 0 && e.dx > 0);
    e.bias = topLeft ? 0 : 1;
  }

  // Pixels whose centres lie in the viewport and the target.
  int64_t left = std::max<int64_t>(0, (int64_t)std::ceil(viewport.TopLeftX - 0.5f));
  int64_t top = std::max<int64_t>(0, (int64_t)std::ceil(viewport.TopLeftY - 0.5f));
  int64_t right = std::min<int64_t>(targetWidth,
                                    (int64_t)std::floor(viewport.TopLeftX + viewport.Width - 0.5f) + 1);
  int64_t bottom = std::min<int64_t>(
      targetHeight, (int64_t)std::floor(viewport.TopLeftY + viewport.Height - 0.5f) + 1);
  int64_t minY = std::min({vy[0], vy[1], vy[2]}), maxY = std::max({vy[0], vy[1], vy[2]});
  top = std::max(top, CeilDiv(minY - kSubpixels / 2, kSubpixels));
  bottom = std::min(bottom, FloorDiv(maxY - kSubpixels / 2, kSubpixels) + 1);

  for (int64_t y = top; y < bottom; ++y) {
    int64_t cy = y * kSubpixels + kSubpixels / 2;
    int64_t x0 = left, x1 = right;  // candidate pixels [x0, x1)
    for (const Edge& e : edges) {
      // E(cx) = dx * (cy - ay) - dy * (cx - ax) must be >= bias.
      int64_t constant = e.dx * (cy - e.ay) + e.dy * e.ax;
      if (e.dy == 0) {
        if (constant < e.bias) x1 = x0;
      } else if (e.dy < 0) {  // E grows with cx: a lower bound
        int64_t cx = CeilDiv(e.bias - constant, -e.dy);
        x0 = std::max(x0, CeilDiv(cx - kSubpixels / 2, kSubpixels));
      } else {  // an upper bound
        int64_t cx = FloorDiv(constant - e.bias, e.dy);
        x1 = std::min(x1, FloorDiv(cx - kSubpixels / 2, kSubpixels) + 1);
      }
    }
    if (x0 < x1) spans->push_back({(uint32_t)y, (uint32_t)x0, (uint32_t)x1});
  }
}
