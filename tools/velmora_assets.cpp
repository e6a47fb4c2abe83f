// velmora_assets <output directory> [--previews]
//
// Writes wall.bc3, spot.bc1 and velmora.ico; with --previews also PNG pictures of what
// the decoded textures and the icon look like, for people to judge them.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/portable/blocks/block_decode.h"
#include "tools/block_encode.h"
#include "tools/icon.h"
#include "tools/png_write.h"
#include "tools/spot_image.h"
#include "tools/wall_image.h"

namespace {

// Bilinear read with wrap-around, texel centres at half-integers, as the wall sampler.
double SampleWrap(const std::vector<uint8_t>& rgba, int size, double u, double v, int ch) {
  const double x = u * size - 0.5, y = v * size - 0.5;
  const double fx = std::floor(x), fy = std::floor(y);
  const double tx = x - fx, ty = y - fy;
  auto at = [&](long i, long j) {
    i = ((i % size) + size) % size;
    j = ((j % size) + size) % size;
    return (double)rgba[((size_t)j * size + i) * 4 + ch];
  };
  const long i = (long)fx, j = (long)fy;
  const double top = at(i, j) + (at(i + 1, j) - at(i, j)) * tx;
  const double bottom = at(i, j + 1) + (at(i + 1, j + 1) - at(i, j + 1)) * tx;
  return (top + (bottom - top) * ty) / 255.0;
}

bool WritePreview(const std::string& path, const std::vector<uint8_t>& pixels, int w, int h, int ch) {
  return WriteFile(path, EncodePng(pixels.data(), w, h, ch));
}

// The ornament's alpha at full size, two by two repeats at half size, and the fine layer's
// fivefold minification; then a scene with the three layers and the spot composed roughly
// as the background shader does, 1280 x 720.
bool WriteWallPreviews(const std::string& dir, const std::vector<uint8_t>& wall,
                       const std::vector<uint8_t>& spot) {
  const int n = kWallSize;
  std::vector<uint8_t> alpha((size_t)n * n), tiled((size_t)n * n);
  for (size_t i = 0; i < alpha.size(); ++i) alpha[i] = wall[i * 4 + 3];
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x)
      tiled[(size_t)y * n + x] = (uint8_t)std::lround(255 * SampleWrap(wall, n, (2.0 * x + 1) / n, (2.0 * y + 1) / n, 3));
  const int fine = 2 * n / 5;
  std::vector<uint8_t> minified((size_t)fine * fine);
  for (int y = 0; y < fine; ++y)
    for (int x = 0; x < fine; ++x)
      minified[(size_t)y * fine + x] =
          (uint8_t)std::lround(255 * SampleWrap(wall, n, (x + 0.5) * 5.0 / n, (y + 0.5) * 5.0 / n, 3));

  const int w = 1280, h = 720;
  std::vector<uint8_t> scene((size_t)w * h * 3);
  const double fill[3] = {0.30, 0.05, 0.07}, far[3] = {0.55, 0.10, 0.12}, near[3] = {0.85, 0.25, 0.22};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      // 720 pixels show 10.8 scene units; the fine repeat is 3.84 units, far 7.68, near 11.52.
      const double sx = x / 66.6667, sy = y / 66.6667;
      const double a0 = SampleWrap(wall, n, sx / 3.84, sy / 3.84, 3);
      const double af = SampleWrap(wall, n, sx / 7.68 + 0.25, sy / 7.68 + 0.25, 3);
      const double an = SampleWrap(wall, n, sx / 11.52 + 0.5, sy / 11.52 + 0.5, 3);
      const double dx = std::fabs(x - 0.55 * w) / 66.6667 / 20.48, dy = std::fabs(y - 0.45 * h) / 66.6667 / 20.48;
      const double su = std::fmin(1.0, std::fmax(0.0, 1 - 2 * dx)), sv = std::fmin(1.0, std::fmax(0.0, 1 - 2 * dy));
      const double light = spot[((size_t)std::lround(sv * 511) * kSpotSize + std::lround(su * 511)) * 4] / 255.0;
      for (int ch = 0; ch < 3; ++ch) {
        double c = fill[ch] * (1 - 0.5 * a0);
        c = c * (1 - af) + af * far[ch];
        c = c * (1 - an) + an * near[ch];
        scene[((size_t)y * w + x) * 3 + ch] = (uint8_t)std::lround(255 * std::fmin(1.0, c * light * 1.6));
      }
    }
  }
  // EncodePng knows grey and RGBA only; widen the scene to RGBA.
  std::vector<uint8_t> sceneRgba((size_t)w * h * 4, 255);
  for (size_t i = 0; i < (size_t)w * h; ++i) std::memcpy(&sceneRgba[i * 4], &scene[i * 3], 3);
  return WritePreview(dir + "/preview_wall_alpha.png", alpha, n, n, 1) &&
         WritePreview(dir + "/preview_wall_tiled.png", tiled, n, n, 1) &&
         WritePreview(dir + "/preview_wall_fine.png", minified, fine, fine, 1) &&
         WritePreview(dir + "/preview_scene.png", sceneRgba, w, h, 4);
}

bool WriteSpotAndIconPreviews(const std::string& dir, const std::vector<uint8_t>& spot) {
  std::vector<uint8_t> grey((size_t)kSpotSize * kSpotSize);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = spot[i * 4];
  // Every icon size side by side on a light sheet, and again enlarged eight times.
  const int gap = 8, sheetW = 16 + 32 + 48 + 64 + 128 + 256 + 7 * gap, sheetH = 256 + 2 * gap;
  std::vector<uint8_t> sheet((size_t)sheetW * sheetH * 4, 235);
  int left = gap;
  for (int size : kIconSizes) {
    const std::vector<uint8_t> icon = DrawIcon(size);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        uint8_t* p = &sheet[((size_t)(gap + y) * sheetW + left + x) * 4];
        const uint8_t* q = &icon[((size_t)y * size + x) * 4];
        for (int ch = 0; ch < 3; ++ch) p[ch] = (uint8_t)((q[ch] * q[3] + p[ch] * (255 - q[3]) + 127) / 255);
      }
    left += size + gap;
  }
  const int zoom = 8, zw = (16 + 32 + 2 * gap) * zoom, zh = 32 * zoom;
  std::vector<uint8_t> zoomed((size_t)zw * zh * 4, 235);
  for (int y = 0; y < zh; ++y)
    for (int x = 0; x < zw; ++x) {
      const int sx = gap + x / zoom, sy = gap + y / zoom;
      if (sy < sheetH) std::memcpy(&zoomed[((size_t)y * zw + x) * 4], &sheet[((size_t)sy * sheetW + sx) * 4], 4);
    }
  return WritePreview(dir + "/preview_spot.png", grey, kSpotSize, kSpotSize, 1) &&
         WritePreview(dir + "/preview_icons.png", sheet, sheetW, sheetH, 4) &&
         WritePreview(dir + "/preview_icons_small_x8.png", zoomed, zw, zh, 4);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || (argc == 3 && std::strcmp(argv[2], "--previews") != 0) || argc > 3) {
    std::fprintf(stderr, "usage: velmora_assets <output directory> [--previews]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const bool previews = argc == 3;

  const std::vector<uint8_t> wall = EncodeBC3Image(MakeWallImage().data(), kWallSize, kWallSize);
  const std::vector<uint8_t> spot = EncodeBC1Image(MakeSpotImage().data(), kSpotSize, kSpotSize);
  bool ok = WriteFile(dir + "/wall.bc3", wall) && WriteFile(dir + "/spot.bc1", spot) &&
            WriteFile(dir + "/velmora.ico", MakeIconFile());
  if (ok && previews) {
    const std::vector<uint8_t> spotTexels = DecodeBlockImage(spot, kSpotSize, kSpotSize, false);
    ok = WriteWallPreviews(dir, DecodeBlockImage(wall, kWallSize, kWallSize, true), spotTexels) &&
         WriteSpotAndIconPreviews(dir, spotTexels);
  }
  if (!ok) {
    std::fprintf(stderr, "velmora_assets: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
