// The committed texture payloads and icon, as the program and the software device read them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/portable/blocks/block_decode.h"

namespace {

std::vector<uint8_t> ReadAsset(const char* name) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/assets/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Texels {
  int size = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* At(int x, int y) const { return &rgba[((size_t)y * size + x) * 4]; }
};

// An empty picture when the payload has the wrong size, so that the statistics fail.
Texels DecodePayload(const std::vector<uint8_t>& payload, int size, bool bc3) {
  if (payload.size() != (size_t)(size / 4) * (size / 4) * (bc3 ? 16 : 8))
    return {size, std::vector<uint8_t>((size_t)size * size * 4)};
  return {size, DecodeBlockImage(payload, size, size, bc3)};
}

const Texels& Wall() {
  static const Texels wall = DecodePayload(ReadAsset("wall.bc3"), 2048, true);
  return wall;
}

const Texels& Spot() {
  static const Texels spot = DecodePayload(ReadAsset("spot.bc1"), 512, false);
  return spot;
}

TEST(Assets, PayloadsHaveTheirExactSizes) {
  EXPECT_EQ(ReadAsset("wall.bc3").size(), 4194304u);
  EXPECT_EQ(ReadAsset("spot.bc1").size(), 131072u);
}

TEST(Assets, WallCoverageStatistics) {
  const Texels& wall = Wall();
  long histogram[256] = {};
  long black = 0, blackCovered = 0, colouredNotWhite = 0;
  for (size_t i = 0; i < wall.rgba.size(); i += 4) {
    const uint8_t* p = &wall.rgba[i];
    ++histogram[p[3]];
    const bool isBlack = p[0] == 0 && p[1] == 0 && p[2] == 0;
    black += isBlack;
    blackCovered += isBlack && p[3] >= 32;
    colouredNotWhite += !isBlack && (p[0] != 255 || p[1] != 255 || p[2] != 255);
  }
  const double total = 2048.0 * 2048.0;
  auto percent = [&](int from, int to) {
    long n = 0;
    for (int a = from; a <= to; ++a) n += histogram[a];
    return 100.0 * n / total;
  };
  EXPECT_NEAR(percent(0, 15), 78.0, 2.0);
  EXPECT_NEAR(percent(128, 255), 18.5, 2.0);
  EXPECT_NEAR(percent(240, 255), 16.0, 2.0);
  // The empty ground is a faint wash, mostly 1..5 and most often 2, rarely bare.
  EXPECT_NEAR(percent(1, 5), 73.0, 4.0);
  EXPECT_LT(percent(0, 0), 0.6);
  for (int a = 0; a < 256; ++a) {
    if (a == 2) continue;
    EXPECT_LT(histogram[a], histogram[2]) << "alpha " << a;
  }
  // White wherever there is coverage; the few black texels lie in the empty ground.
  EXPECT_NEAR(100.0 * black / total, 0.44, 0.25);
  EXPECT_EQ(blackCovered, 0);
  EXPECT_EQ(colouredNotWhite, 0);
}

// The ornament repeats across its edges: the step from the last column to the first (and
// from the last row to the first) is like the steps between the columns (rows) next to it.
TEST(Assets, WallTilesSeamlessly) {
  const Texels& wall = Wall();
  const int n = wall.size;
  // Mean alpha step between column (or row) c and the next one, wrapping around.
  auto columnStep = [&](int c) {
    double sum = 0;
    for (int y = 0; y < n; ++y) sum += std::abs(wall.At(c, y)[3] - wall.At((c + 1) % n, y)[3]);
    return sum / n;
  };
  auto rowStep = [&](int r) {
    double sum = 0;
    for (int x = 0; x < n; ++x) sum += std::abs(wall.At(x, r)[3] - wall.At(x, (r + 1) % n)[3]);
    return sum / n;
  };
  double nearColumns = 0, nearRows = 0;
  for (int k = 1; k <= 8; ++k) {
    nearColumns += columnStep(n - 1 - k) + columnStep(k - 1);
    nearRows += rowStep(n - 1 - k) + rowStep(k - 1);
  }
  nearColumns /= 16;
  nearRows /= 16;
  EXPECT_GT(nearColumns + nearRows, 1.0);  // the measure sees the ornament's edges at all
  EXPECT_LT(columnStep(n - 1), 1.5 * nearColumns);
  EXPECT_LT(rowStep(n - 1), 1.5 * nearRows);
}

TEST(Assets, SpotFollowsItsProfileAndFloor) {
  const Texels& spot = Spot();
  const double distance[] = {0, 16, 32, 48, 64, 80, 96, 112, 128, 144, 160, 176, 192, 208, 224, 240, 256};
  const double value[] = {255, 255, 255, 249, 240, 228, 215, 200, 184, 167, 151, 136, 119, 105, 94, 85, 77};
  // Brightness at a point between texel centres, read bilinearly as the sampler does.
  auto sample = [&](double x, double y) {
    const int x0 = (int)std::floor(x - 0.5), y0 = (int)std::floor(y - 0.5);
    const double fx = x - 0.5 - x0, fy = y - 0.5 - y0;
    auto v = [&](int i, int j) { return (double)spot.At(std::min(i, 511), std::min(j, 511))[0]; };
    return (v(x0, y0) * (1 - fx) + v(x0 + 1, y0) * fx) * (1 - fy) + (v(x0, y0 + 1) * (1 - fx) + v(x0 + 1, y0 + 1) * fx) * fy;
  };
  for (size_t i = 0; i < std::size(distance); ++i) {
    // Along the bottom edge, along the right edge and along the diagonal from the corner.
    const double d = std::max(distance[i], 1.0), diagonal = d / std::sqrt(2.0);
    EXPECT_NEAR(sample(511.5 - (d - 0.5), 511.5), value[i], 2.0) << "bottom edge, distance " << d;
    EXPECT_NEAR(sample(511.5, 511.5 - (d - 0.5)), value[i], 2.0) << "right edge, distance " << d;
    EXPECT_NEAR(sample(512 - diagonal, 512 - diagonal), value[i], 2.0) << "diagonal, distance " << d;
  }
  long offFloor = 0, notGrey = 0, notOpaque = 0;
  for (int y = 0; y < 512; ++y) {
    for (int x = 0; x < 512; ++x) {
      const uint8_t* p = spot.At(x, y);
      notGrey += std::abs(p[0] - p[1]) > 3 || std::abs(p[2] - p[1]) > 3;
      notOpaque += p[3] != 255;
      if (std::hypot(512 - (x + 0.5), 512 - (y + 0.5)) >= 262)
        offFloor += p[0] != 77 || p[1] != 77 || p[2] != 77;
    }
  }
  EXPECT_EQ(offFloor, 0);
  EXPECT_EQ(notGrey, 0);
  EXPECT_EQ(notOpaque, 0);
}

// The floor's blocks decode to 77 under any rounding of the interpolation: the value is
// an exact third between the end points.
TEST(Assets, SpotFloorIsAnExactThird) {
  const std::vector<uint8_t> payload = ReadAsset("spot.bc1");
  ASSERT_EQ(payload.size(), 131072u);
  const uint8_t* block = payload.data();  // the top-left block lies on the floor
  const unsigned c0 = block[0] | block[1] << 8, c1 = block[2] | block[3] << 8;
  ASSERT_GT(c0, c1);
  const unsigned index = block[4] & 3;
  for (int i = 4; i < 8; ++i) EXPECT_EQ(block[i], index * 0x55) << "every texel takes the same index";
  ASSERT_GE(index, 2u);
  // End points widened to 8 bits by repeating their top bits.
  auto widen5 = [](unsigned v) { return v << 3 | v >> 2; };
  auto widen6 = [](unsigned v) { return v << 2 | v >> 4; };
  const unsigned expand[3][2] = {{widen5(c0 >> 11), widen5(c1 >> 11)},
                                 {widen6((c0 >> 5) & 63), widen6((c1 >> 5) & 63)},
                                 {widen5(c0 & 31), widen5(c1 & 31)}};
  for (const auto& e : expand) {
    const unsigned sum = index == 2 ? 2 * e[0] + e[1] : e[0] + 2 * e[1];
    EXPECT_EQ(sum % 3, 0u);
    EXPECT_EQ(sum / 3, 77u);
  }
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
uint32_t Be32(const uint8_t* p) { return (uint32_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

TEST(Assets, IconHoldsSixPngImages) {
  const std::vector<uint8_t> ico = ReadAsset("velmora.ico");
  ASSERT_GE(ico.size(), 6u + 6 * 16);
  EXPECT_EQ(ico[0] | ico[1] << 8, 0);
  EXPECT_EQ(ico[2] | ico[3] << 8, 1);
  ASSERT_EQ(ico[4] | ico[5] << 8, 6);
  const uint32_t sizes[6] = {16, 32, 48, 64, 128, 256};
  const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  size_t expectedOffset = 6 + 6 * 16;
  for (int i = 0; i < 6; ++i) {
    const uint8_t* entry = &ico[6 + 16 * i];
    EXPECT_EQ(entry[0] == 0 ? 256u : entry[0], sizes[i]);
    EXPECT_EQ(entry[1] == 0 ? 256u : entry[1], sizes[i]);
    EXPECT_EQ(entry[4] | entry[5] << 8, 1);
    EXPECT_EQ(entry[6] | entry[7] << 8, 32);
    const uint32_t bytes = Le32(entry + 8), offset = Le32(entry + 12);
    EXPECT_EQ(offset, expectedOffset) << "images follow each other without gaps";
    ASSERT_LE((size_t)offset + bytes, ico.size());
    ASSERT_GE(bytes, 8u + 25u);
    const uint8_t* png = &ico[offset];
    EXPECT_TRUE(std::equal(signature, signature + 8, png)) << "image " << i;
    EXPECT_EQ(std::string((const char*)png + 12, 4), "IHDR");
    EXPECT_EQ(Be32(png + 16), sizes[i]);
    EXPECT_EQ(Be32(png + 20), sizes[i]);
    EXPECT_EQ(png[24], 8);  // 8 bits per channel
    EXPECT_EQ(png[25], 6);  // RGBA: 32 bits per pixel
    expectedOffset = offset + bytes;
  }
  EXPECT_EQ(expectedOffset, ico.size());
}

}  // namespace
