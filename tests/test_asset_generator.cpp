// The asset generator's block encoder against the project's decoder: what the program
// will see is what the generator drew, within the precision of the block formats.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/portable/blocks/block_decode.h"
#include "tools/block_encode.h"
#include "tools/spot_image.h"
#include "tools/wall_image.h"

namespace {

struct Error {
  int max = 0;
  double mean = 0;
  double beyond18 = 0;  // share of texels off by more than 18
};

Error Compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int channel) {
  Error e;
  long sum = 0, beyond = 0;
  for (size_t i = channel; i < a.size(); i += 4) {
    const int d = std::abs(a[i] - b[i]);
    e.max = std::max(e.max, d);
    sum += d;
    beyond += d > 18;
  }
  e.mean = (double)sum / (a.size() / 4);
  e.beyond18 = (double)beyond / (a.size() / 4);
  return e;
}

TEST(AssetGenerator, WallRoundTrip) {
  const std::vector<uint8_t> source = MakeWallImage();
  const std::vector<uint8_t> payload = EncodeBC3Image(source.data(), kWallSize, kWallSize);
  ASSERT_EQ(payload.size(), 4194304u);
  const auto decoded = DecodeBlockImage(payload, kWallSize, kWallSize, true);
  // Alpha: eight levels across a block's range leave at most half a step (18 across the
  // full range) for nearly every texel and never a whole step; the colour, black or
  // white, is exact.
  const Error alpha = Compare(source, decoded, 3);
  EXPECT_LT(alpha.beyond18, 0.001);
  EXPECT_LE(alpha.max, 36);
  EXPECT_LT(alpha.mean, 1.0);
  for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(Compare(source, decoded, ch).max, 0) << "channel " << ch;
}

TEST(AssetGenerator, SpotRoundTrip) {
  const std::vector<uint8_t> source = MakeSpotImage();
  const std::vector<uint8_t> payload = EncodeBC1Image(source.data(), kSpotSize, kSpotSize);
  ASSERT_EQ(payload.size(), 131072u);
  const auto decoded = DecodeBlockImage(payload, kSpotSize, kSpotSize, false);
  for (int ch = 0; ch < 3; ++ch) {
    const Error e = Compare(source, decoded, ch);
    EXPECT_LE(e.max, 3) << "channel " << ch;
    EXPECT_LT(e.mean, 0.3) << "channel " << ch;
  }
  EXPECT_EQ(Compare(source, decoded, 3).max, 0) << "opaque";
}

// Blocks of one value: every grey through BC1 and every alpha through BC3 comes back
// within one step (exactly where a level or an exact third exists).
TEST(AssetGenerator, UniformBlocks) {
  for (int v = 0; v < 256; ++v) {
    std::vector<uint8_t> block(16 * 4);
    for (int i = 0; i < 16; ++i) {
      block[i * 4 + 0] = block[i * 4 + 1] = block[i * 4 + 2] = (uint8_t)v;
      block[i * 4 + 3] = (uint8_t)v;
    }
    const auto bc1 = DecodeBlockImage(EncodeBC1Image(block.data(), 4, 4), 4, 4, false);
    const auto bc3 = DecodeBlockImage(EncodeBC3Image(block.data(), 4, 4), 4, 4, true);
    for (int i = 0; i < 16; ++i) {
      for (int ch = 0; ch < 3; ++ch) EXPECT_LE(std::abs(bc1[i * 4 + ch] - v), 1) << "grey " << v;
      EXPECT_EQ(bc1[i * 4 + 3], 255) << "grey " << v;
      EXPECT_EQ(bc3[i * 4 + 3], v);
    }
  }
}

// Texel order within blocks and block order within the image: a picture whose every
// texel differs survives the trip in place.
TEST(AssetGenerator, TexelsKeepTheirPlaces) {
  const int w = 16, h = 8;
  std::vector<uint8_t> image((size_t)w * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &image[((size_t)y * w + x) * 4];
      p[0] = p[1] = p[2] = (uint8_t)(x < 8 ? 255 : 0);
      p[3] = (uint8_t)(y * w + x);  // 0..127, a few levels per block
    }
  const auto decoded = DecodeBlockImage(EncodeBC3Image(image.data(), w, h), w, h, true);
  for (size_t i = 0; i < image.size(); i += 4) {
    EXPECT_NEAR(decoded[i + 3], image[i + 3], 3) << "texel " << i / 4;
    EXPECT_EQ(decoded[i], image[i]) << "texel " << i / 4;
  }
}

}  // namespace
