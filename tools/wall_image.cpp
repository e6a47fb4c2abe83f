#include "tools/wall_image.h"

#include <cmath>

#include "tools/ornament.h"

namespace {

constexpr double kSoftness = 0.5;  // Gaussian sigma of the edge softening, in texels
// A faint glow around the shapes, as of ink bleeding into the ground: its reach (sigma,
// in texels) and its strength at the shapes' edge (alpha x 255).
constexpr double kGlowReach = 3.0;
constexpr double kGlowStrength = 10.0;
constexpr double kHollow = -0.69;  // background noise level below which the ground is bare

// Integer hash of a lattice point: the background's pseudo-random values without any
// generator state, so that every machine computes the same texels.
double LatticeValue(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  h *= 0x846ca68bu;
  h ^= h >> 16;
  return (h & 0xFFFFFF) / double(0xFFFFFF) * 2.0 - 1.0;
}

// Smooth value noise repeating every kWallSize texels, cells of `cell` texels.
double TileNoise(int x, int y, int cell, uint32_t seed) {
  const int cells = kWallSize / cell;
  const double fx = (x + 0.5) / cell, fy = (y + 0.5) / cell;
  const int ix = (int)std::floor(fx), iy = (int)std::floor(fy);
  double tx = fx - ix, ty = fy - iy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  auto v = [&](int i, int j) {
    return LatticeValue((uint32_t)((i % cells + cells) % cells), (uint32_t)((j % cells + cells) % cells),
                        seed);
  };
  const double a = v(ix, iy) + (v(ix + 1, iy) - v(ix, iy)) * tx;
  const double b = v(ix, iy + 1) + (v(ix + 1, iy + 1) - v(ix, iy + 1)) * tx;
  return a + (b - a) * ty;
}

// Gaussian blur with wrap-around, separable, in place.
void SoftenEdges(std::vector<float>& image, int size, double sigma) {
  const int radius = (int)std::ceil(3 * sigma);
  std::vector<float> kernel(2 * radius + 1);
  double sum = 0;
  for (int i = -radius; i <= radius; ++i) sum += kernel[i + radius] = (float)std::exp(-0.5 * i * i / (sigma * sigma));
  for (float& k : kernel) k = (float)(k / sum);
  std::vector<float> line(size);
  for (int pass = 0; pass < 2; ++pass) {
    for (int a = 0; a < size; ++a) {
      auto at = [&](int b) -> float& {
        return pass == 0 ? image[(size_t)a * size + b] : image[(size_t)b * size + a];
      };
      for (int b = 0; b < size; ++b) {
        float acc = 0;
        for (int i = -radius; i <= radius; ++i) acc += kernel[i + radius] * at((b + i + size) % size);
        line[b] = acc;
      }
      for (int b = 0; b < size; ++b) at(b) = line[b];
    }
  }
}

}  // namespace

std::vector<uint8_t> MakeWallImage() {
  const std::vector<uint8_t> sharp = DrawWallOrnament(kWallSize);
  std::vector<float> coverage(sharp.begin(), sharp.end()), glow = coverage;
  SoftenEdges(coverage, kWallSize, kSoftness);
  SoftenEdges(glow, kWallSize, kGlowReach);

  std::vector<uint8_t> rgba((size_t)kWallSize * kWallSize * 4);
  for (int y = 0; y < kWallSize; ++y) {
    for (int x = 0; x < kWallSize; ++x) {
      const size_t i = (size_t)y * kWallSize + x;
      const double c = std::fmin(1.0, coverage[i] / 255.0);
      // The empty ground is not quite empty: a faint, uneven wash around 2/255 with a
      // few bare hollows where the colour is black.
      const double n = 0.65 * TileNoise(x, y, 64, 1) + 0.35 * TileNoise(x, y, 16, 2);
      const bool hollow = glow[i] < 1.0f && n < kHollow;
      const double ground = hollow ? std::fmax(0.0, 1.0 + (n - kHollow) * 2.5) : 2.2 + 1.2 * n;
      const double halo = kGlowStrength * std::fmin(1.0, 2.0 * glow[i] / 255.0);
      const double alpha = ground + (255.0 - ground) * c + halo * (1.0 - c);
      const uint8_t colour = hollow ? 0 : 255;
      rgba[i * 4 + 0] = rgba[i * 4 + 1] = rgba[i * 4 + 2] = colour;
      rgba[i * 4 + 3] = (uint8_t)std::lround(std::fmin(255.0, alpha));
    }
  }
  return rgba;
}
