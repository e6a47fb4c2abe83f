#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <hwy/targets.h>

#include "platform/portable/control/d3d11_control.h"
#include "platform/portable/kernels/background_kernel_vector.h"

namespace {

struct Texture {
  std::vector<uint8_t> tiles, grey;
  SampledTexture view;
  // Grey: r = g = b in every texel, which the device also keeps as grey columns.
  Texture(int width, int height, TextureAddress address, std::mt19937& random, bool isGrey = false) {
    view.width = width;
    view.height = height;
    view.tilesPerRow = (width + 3) / 4;
    view.addressU = view.addressV = address;
    tiles.resize((size_t)view.tilesPerRow * ((height + 3) / 4) * 64);
    // Mostly empty or full coverage, as in the ornament, with every value in between.
    for (size_t i = 0; i < tiles.size(); ++i) {
      uint32_t pick = random() % 8;
      tiles[i] = pick < 3 ? 2 : pick < 5 ? 255 : (uint8_t)random();
      if (isGrey && i % 4 != 0 && i % 4 != 3) tiles[i] = tiles[i - i % 4];
    }
    view.tiles = tiles.data();
    if (BuildGreyLayouts(view, &grey)) view.grey = grey.data();
  }
};

// Random constants that reach every branch: pixels inside and outside the wall and spot
// squares, on both sides of the band limit, both variants; and now and then a field that
// is not a number, infinite, huge, large or zero.
FrameConstants RandomConstants(std::mt19937& random, int round) {
  std::uniform_real_distribution<float> unit(0.0f, 1.0f), signedUnit(-1.0f, 1.0f);
  FrameConstants c = {};
  c.uRes[0] = (float)(1 + random() % 300);
  c.uRes[1] = (float)(1 + random() % 200);
  c.uExt[0] = 4.0f + 12.0f * unit(random);
  c.uExt[1] = 3.0f + 12.0f * unit(random);
  c.uAng = 7.0f * signedUnit(random);
  c.uFarT = 2.0f * unit(random);
  c.uNearT = 2.0f * unit(random);
  for (float* colour : {c.uCFill, c.uCFar, c.uCNear, c.uCGrad})
    for (int i = 0; i < 3; ++i) colour[i] = unit(random) < 0.1f ? 0.0f : unit(random);
  for (float& factor : c.uBr) factor = 2.0f * unit(random);
  c.uGeo[0] = 1.0f;
  c.uGeo[1] = unit(random) < 0.5f ? 3.0f : 3.5f;
  c.uGeo[2] = 0.3f + 3.0f * unit(random);
  c.uGeo[3] = 4.0f * signedUnit(random);
  c.uSpot[0] = 12.0f * signedUnit(random);
  c.uSpot[1] = 12.0f * signedUnit(random);
  c.uSpot[3] = 0.2f + unit(random);
  c.uTone[0] = round % 2 ? 1.0f : 0.0f;
  if (round % 3 == 0) {
    // Large enough to put texel positions beyond 2^22, where a float holds no fraction bit,
    // and 2^24, where Direct3D saturates them.
    const float odd[] = {NAN,   -NAN, INFINITY, -INFINITY, 3e38f,  -3e38f,
                         0.0f, -0.0f, 1e-40f,   1.5e5f,    -2.5e5f};
    float* fields = (float*)&c;
    for (int k = 0; k < 3; ++k) fields[random() % 40] = odd[random() % 11];
  }
  return c;
}

// Gives the device back its own choice of instruction set and reads when a test ends, also
// when an assertion ends it early, so that the tests after it shade as the device does.
struct ForcedKernel {
  ~ForcedKernel() {
    PortableSetKernelTarget(0);
    PortableSetKernelReads(PortableKernelReads::Processor);
  }
};

// Every instruction set the kernel is compiled for that this processor runs, the best one
// being what the device uses, each reading texels both ways.
TEST(VectorKernel, SameBytesAsTheScalarKernel) {
  const ForcedKernel restore;
  const PortableKernelReads ways[] = {PortableKernelReads::Gather,
                                      PortableKernelReads::LoadPerLane};
  for (int64_t target : PortableKernelTargets())
    for (PortableKernelReads reads : ways) {
      PortableSetKernelTarget(target);
      PortableSetKernelReads(reads);
      SCOPED_TRACE(std::string(hwy::TargetName(target)) +
                   (reads == PortableKernelReads::Gather ? " gathers" : " loads per lane"));
      std::mt19937 random(2024);
      // Grey walls are read from their grey columns and alpha tiles (several rows of tiles,
      // or a wall narrower than one tile), others from the RGBA tiles. Clamped axes need no
      // power of two and may end in partial tiles.
      Texture walls[5] = {{64, 32, TextureAddress::Wrap, random, true},
                          {4, 8, TextureAddress::Wrap, random, true},
                          {64, 32, TextureAddress::Wrap, random},
                          {20, 12, TextureAddress::Clamp, random, true},
                          {2, 16, TextureAddress::Wrap, random, true}};
      ASSERT_TRUE(walls[0].view.grey && walls[1].view.grey && !walls[2].view.grey &&
                  walls[4].view.grey);
      Texture spots[2] = {{24, 20, TextureAddress::Clamp, random},
                          {32, 16, TextureAddress::Wrap, random}};
      size_t branches[2][2][2] = {};  // wall, spot, band coverage seen
      for (int round = 0; round < 600; ++round) {
        FrameConstants c = RandomConstants(random, round);
        BackgroundFrame frame;
        PrepareBackgroundFrame(c, walls[round / 2 % 5].view, spots[round / 8 % 2].view, &frame);
        ASSERT_TRUE(CanShadeBackgroundVector(frame));
        const float resX = std::isfinite(c.uRes[0]) ? std::fmin(c.uRes[0], 300.0f) : 37.0f;
        uint32_t width = (uint32_t)std::max(1.0f, resX);
        // Spans start and end anywhere, often in a partial vector; neighbouring rows often
        // read the same spot texels again, from a span that starts at the same column but
        // reaches further.
        uint32_t y = 0, x0 = 0, x1 = 0;
        for (int row = 0; row < 6; ++row) {
          if (row % 3 == 0) {
            y = (uint32_t)(random() % 200);
            x0 = (uint32_t)(random() % width);
            x1 = x0 + 1 + (uint32_t)(random() % (width - x0));
          } else {
            ++y;
            x1 = width;
          }
          std::vector<uint8_t> scalar((x1 - x0) * 4), vector((x1 - x0) * 4, 0xAB);
          ShadeBackgroundSpan(frame, y, x0, x1, scalar.data());
          ShadeBackgroundSpanVector(frame, y, x0, x1, vector.data());
          ASSERT_EQ(scalar, vector) << "round " << round << " row " << y << " from " << x0;
          BackgroundCoordinates k;
          ComputeBackgroundCoordinates(frame, (float)x0 + 0.5f, (float)y + 0.5f, &k);
          ++branches[k.insideWall][k.insideSpot][k.bandApplies];
        }
      }
      // Every combination of the three branches occurred.
      for (auto& wall : branches)
        for (auto& spot : wall)
          for (size_t seen : spot) EXPECT_GT(seen, 0u);
    }
}

// Spans of one frame share the spot they read; the next frame, though drawn at the same
// rows, has its own.
TEST(VectorKernel, EachFrameReadsItsOwnSpot) {
  std::mt19937 random(7);
  Texture wall(64, 32, TextureAddress::Wrap, random, true);
  Texture spot(24, 20, TextureAddress::Clamp, random);
  FrameConstants c = {};
  c.uRes[0] = 64.0f;
  c.uRes[1] = 48.0f;
  c.uExt[0] = c.uExt[1] = 6.0f;
  c.uCFill[0] = c.uCFill[1] = c.uCFill[2] = 0.8f;
  c.uBr[0] = 1.0f;
  c.uGeo[2] = 1.0f;
  c.uSpot[3] = 1.0f;
  c.uGeo[3] = 100.0f;  // the band far below
  for (float spotX : {0.0f, 1.5f, -2.0f}) {
    c.uSpot[0] = spotX;
    BackgroundFrame frame;
    PrepareBackgroundFrame(c, wall.view, spot.view, &frame);
    std::vector<uint8_t> scalar(64 * 4), vector(64 * 4);
    ShadeBackgroundSpan(frame, 20, 0, 64, scalar.data());
    ShadeBackgroundSpanVector(frame, 20, 0, 64, vector.data());
    EXPECT_EQ(scalar, vector) << "spot at " << spotX;
  }
}

TEST(VectorKernel, AppliesOnlyWhereWrappingIsAMask) {
  std::mt19937 random(1);
  Texture wall(48, 32, TextureAddress::Wrap, random);
  Texture spot(16, 16, TextureAddress::Clamp, random);
  BackgroundFrame frame;
  PrepareBackgroundFrame(FrameConstants{}, wall.view, spot.view, &frame);
  EXPECT_FALSE(CanShadeBackgroundVector(frame));
  PrepareBackgroundFrame(FrameConstants{}, spot.view, SampledTexture{}, &frame);
  EXPECT_FALSE(CanShadeBackgroundVector(frame)) << "an unbound texture";
  PrepareBackgroundFrame(FrameConstants{}, spot.view, spot.view, &frame);
  EXPECT_TRUE(CanShadeBackgroundVector(frame));
}

}  // namespace
