#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/portable/d3d11/d3d11.h"
#include "platform/portable/kernels/background_kernel.h"

namespace {

constexpr float kHalfPi = 1.5707964f;

// A 1920 x 1080 frame with the scroll, geometry and spot of the title screen's worked example.
FrameConstants WorkedConstants(float angle) {
  FrameConstants c = {};
  c.uRes[0] = 1920.0f;
  c.uRes[1] = 1080.0f;
  float aspect = 1920.0f / 1080.0f;
  c.uExt[0] = 5.397753f * aspect;
  c.uExt[1] = 5.397753f;
  c.uAng = angle;
  c.uFarT = 0.25f;
  c.uNearT = 0.5f;
  const float geo[4] = {2.0f, 3.0f, 2.0f, -0.5f}, spot[4] = {1.0f, 0.5f, 2.0f, 1.0f};
  std::memcpy(c.uGeo, geo, sizeof geo);
  std::memcpy(c.uSpot, spot, sizeof spot);
  return c;
}

BackgroundCoordinates Coordinates(const FrameConstants& c, float x, float y) {
  BackgroundFrame frame;
  PrepareBackgroundFrame(c, SampledTexture{}, SampledTexture{}, &frame);
  BackgroundCoordinates k;
  ComputeBackgroundCoordinates(frame, x, y, &k);
  return k;
}

// Figures printed to five significant digits.
void ExpectPair(const float actual[2], double x, double y, const char* what) {
  EXPECT_NEAR(actual[0], x, std::fabs(x) * 6e-5 + 1e-6) << what << ".x";
  EXPECT_NEAR(actual[1], y, std::fabs(y) * 6e-5 + 1e-6) << what << ".y";
}

TEST(BackgroundShader, WorkedCoordinatesTopLeftPixelUnturned) {
  BackgroundCoordinates k = Coordinates(WorkedConstants(0.0f), 0.5f, 0.5f);
  ExpectPair(k.n, -0.99948, 0.99907, "n");
  ExpectPair(k.p, -9.5910, 5.3928, "p");
  ExpectPair(k.q, -9.5910, 5.3928, "q");
  ExpectPair(k.wc, 0.42867, 3.7584, "wc");
  EXPECT_FLOAT_EQ(k.wc[0], 0.42866492f);  // the single-precision value of the printed 0.42867
  ExpectPair(k.t, 0.083724, 0.26594, "t");
  ExpectPair(k.fine, 0.50234, 1.5956, "fine");
  ExpectPair(k.far, 0.50117, 1.0478, "far");
  ExpectPair(k.near, 0.66745, 1.0319, "near");
  ExpectPair(k.sp, 4.9445, 12.686, "sp");
  ExpectPair(k.spotTexture, 0.48301, 0.75882, "spot texture");
  EXPECT_NEAR(k.g, 15.893, 15.893 * 6e-5);
  EXPECT_NEAR(k.f, 0.20536, 0.20536 * 6e-5);
  EXPECT_TRUE(k.insideWall);
  EXPECT_TRUE(k.insideSpot);
  EXPECT_TRUE(k.bandApplies);
}

TEST(BackgroundShader, WorkedCoordinatesBottomRightPixelQuarterTurn) {
  BackgroundCoordinates k = Coordinates(WorkedConstants(kHalfPi), 1919.5f, 1079.5f);
  ExpectPair(k.n, 0.99948, -0.99907, "n");
  ExpectPair(k.p, 9.5910, -5.3928, "p");
  ExpectPair(k.q, -5.3928, -9.5910, "q");
  ExpectPair(k.wc, 1.3616, 0.42867, "wc");
  EXPECT_NEAR(k.wc[1], 0.42866492f, 2e-7f);
  ExpectPair(k.t, 0.26594, 0.91628, "t");
  ExpectPair(k.fine, 1.5956, 5.4977, "fine");
  ExpectPair(k.far, 1.0478, 2.9988, "far");
  ExpectPair(k.near, 1.0319, 2.3326, "near");
  ExpectPair(k.sp, 14.536, 7.2936, "sp");
  ExpectPair(k.spotTexture, 0.57982, 0.71042, "spot texture");
  EXPECT_NEAR(k.g, 5.1072, 5.1072 * 6e-5);
  EXPECT_NEAR(k.f, 0.74464, 0.74464 * 6e-5);
}

TEST(BackgroundShader, SineAndCosineAreAccurateToAFewUlp) {
  float s, c;
  SinCosPolynomial(0.0f, &s, &c);
  EXPECT_EQ(s, 0.0f);
  EXPECT_EQ(c, 1.0f);
  double worst = 0.0;
  for (int i = -40000; i <= 40000; ++i) {
    float angle = (float)i * 0.00025f;  // -10 .. 10 radians, beyond the animation's 0 .. 2 pi
    SinCosPolynomial(angle, &s, &c);
    worst = std::max(worst, std::fabs(s - std::sin((double)angle)));
    worst = std::max(worst, std::fabs(c - std::cos((double)angle)));
  }
  EXPECT_LT(worst, 3.0 * 5.96e-8) << "a few units in the last place of values near 1";
}

TEST(BackgroundShader, SquaresIncludeTheirBordersAndTheBandItsLimit) {
  // Unturned, 2 pixels wide with the pixel centre at n.x = -0.5, p.x is exactly half of -uExt.x.
  FrameConstants c = {};
  c.uRes[0] = c.uRes[1] = 2.0f;
  c.uGeo[2] = 1.0f;
  c.uSpot[3] = 1.0f;
  float border = -11.5201f;
  while (border * 0.22222222f + 2.56f != 0.0f && border < -11.5199f)
    border = std::nextafter(border, 0.0f);
  ASSERT_EQ(border * 0.22222222f + 2.56f, 0.0f) << "a point exactly on the wall's left border";
  c.uExt[0] = -2.0f * border;
  EXPECT_TRUE(Coordinates(c, 0.5f, 1.0f).insideWall);
  c.uExt[0] = -2.0f * std::nextafter(border, -12.0f);
  EXPECT_FALSE(Coordinates(c, 0.5f, 1.0f).insideWall);

  // The pixel centre (1, 1) is the scene origin; the spot square's edges meet it exactly.
  c.uExt[0] = c.uExt[1] = 1.0f;
  c.uSpot[0] = 10.24f;
  EXPECT_EQ(Coordinates(c, 1.0f, 1.0f).sp[0], 0.0f);
  EXPECT_TRUE(Coordinates(c, 1.0f, 1.0f).insideSpot);
  c.uSpot[0] = -10.24f;
  EXPECT_EQ(Coordinates(c, 1.0f, 1.0f).sp[0], 20.48f);
  EXPECT_TRUE(Coordinates(c, 1.0f, 1.0f).insideSpot);
  c.uSpot[0] = -10.24001f;
  EXPECT_FALSE(Coordinates(c, 1.0f, 1.0f).insideSpot);

  c.uSpot[0] = 0.0f;
  c.uGeo[3] = -10.0f;  // g = 20 at the origin
  BackgroundCoordinates k = Coordinates(c, 1.0f, 1.0f);
  EXPECT_EQ(k.g, 20.0f);
  EXPECT_TRUE(k.bandApplies);
  EXPECT_EQ(k.f, 0.0f);
  c.uGeo[3] = -10.00001f;
  EXPECT_FALSE(Coordinates(c, 1.0f, 1.0f).bandApplies);
}

TEST(BackgroundShader, SpotCoordinateStaysClearOfTheOutermostTexels) {
  FrameConstants c = {};
  c.uRes[0] = c.uRes[1] = 2.0f;
  c.uExt[0] = c.uExt[1] = 1.0f;
  c.uGeo[2] = 2.0f;
  c.uSpot[3] = 1.0f;
  BackgroundCoordinates centre = Coordinates(c, 1.0f, 1.0f);
  EXPECT_EQ(centre.spotTexture[0], 0.9956423f);  // 0.991285 + 0.0043573 in single precision
  EXPECT_EQ(centre.spotTexture[1], 0.9956423f);
  c.uSpot[0] = 20.48f;  // sp.x = 0: the square's edge
  EXPECT_EQ(Coordinates(c, 1.0f, 1.0f).spotTexture[0], 0.0043573f);
}

// A texture of one colour per texel, in the tiled layout the device uses.
struct TestTexture {
  std::vector<uint8_t> tiles;
  SampledTexture view;
  TestTexture(int width, int height, TextureAddress address) {
    view.width = width;
    view.height = height;
    view.tilesPerRow = (width + 3) / 4;
    view.addressU = view.addressV = address;
    tiles.assign((size_t)view.tilesPerRow * ((height + 3) / 4) * 64, 0);
    view.tiles = tiles.data();
  }
  void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    uint8_t* texel = (uint8_t*)TexelAddress(view, x, y);
    texel[0] = r, texel[1] = g, texel[2] = b, texel[3] = a;
  }
};

TEST(TextureSampling, TexelCentresWrapAndClamp) {
  for (TextureAddress address : {TextureAddress::Wrap, TextureAddress::Clamp}) {
    TestTexture texture(8, 6, address);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) texture.Set(x, y, (uint8_t)(x * 30), (uint8_t)(y * 40), 7, 255);
    float rgba[4];
    // Texel centres read one texel exactly.
    SampleBilinear(texture.view, 5.5f / 8, 2.5f / 6, rgba);
    EXPECT_EQ(rgba[0], 150.0f / 255.0f);
    EXPECT_EQ(rgba[1], 80.0f / 255.0f);
    EXPECT_EQ(rgba[3], 1.0f);
    // Half-way between two centres: their mean.
    SampleBilinear(texture.view, 3.0f / 8, 2.5f / 6, rgba);
    EXPECT_NEAR(rgba[0], 75.0f / 255.0f, 1e-6f);
    // At the left edge, wrap blends in the last column and clamp repeats the first.
    SampleBilinear(texture.view, 0.0f, 0.0f, rgba);
    if (address == TextureAddress::Wrap) {
      EXPECT_NEAR(rgba[0], 105.0f / 255.0f, 1e-6f);  // (0 + 210) / 2
      EXPECT_NEAR(rgba[1], 100.0f / 255.0f, 1e-6f);  // (0 + 200) / 2
    } else {
      EXPECT_EQ(rgba[0], 0.0f);
      EXPECT_EQ(rgba[1], 0.0f);
    }
    // Whole turns of a wrapped coordinate read the same texel; clamp holds the edge.
    SampleBilinear(texture.view, 5.5f / 8 + 3.0f, 2.5f / 6 - 2.0f, rgba);
    if (address == TextureAddress::Wrap) {
      EXPECT_NEAR(rgba[0], 150.0f / 255.0f, 1e-5f);
      EXPECT_NEAR(rgba[1], 80.0f / 255.0f, 1e-5f);
    } else {
      EXPECT_EQ(rgba[0], 210.0f / 255.0f);
      EXPECT_EQ(rgba[1], 0.0f);
    }
  }
}

TEST(TextureSampling, NonFiniteCoordinatesReadDefinedTexels) {
  const float cases[] = {NAN, INFINITY, -INFINITY, 3e38f, -3e38f, 1e9f};
  for (TextureAddress address : {TextureAddress::Wrap, TextureAddress::Clamp}) {
    TestTexture texture(12, 4, address);
    for (int x = 0; x < 12; ++x) texture.Set(x, 0, (uint8_t)(x * 20), 0, 0, 255);
    for (float u : cases)
      for (float v : cases) {
        float rgba[4];
        SampleBilinear(texture.view, u, v, rgba);
        EXPECT_TRUE(std::isfinite(rgba[0])) << u << ", " << v;
        EXPECT_GE(rgba[0], 0.0f);
        EXPECT_LE(rgba[0], 1.0f);
      }
    float rgba[4];
    SampleBilinear(texture.view, NAN, 0.5f / 4, rgba);  // NaN becomes texel position 0
    EXPECT_EQ(rgba[0], 0.0f);
  }
}

// Synthetic textures with every alpha and colour so that each branch sees varied values.
struct Scene {
  TestTexture wall{64, 64, TextureAddress::Wrap};
  TestTexture spot{16, 16, TextureAddress::Clamp};
  Scene() {
    std::mt19937 random(7);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x)
        wall.Set(x, y, (uint8_t)random(), (uint8_t)random(), (uint8_t)random(), (uint8_t)random());
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        uint8_t grey = (uint8_t)(77 + (x + y) * 6);
        spot.Set(x, y, grey, grey, grey, 255);
      }
  }
};

FrameConstants RandomConstants(std::mt19937& random, bool light) {
  std::uniform_real_distribution<float> unit(0.0f, 1.0f), wide(-2.0f, 8.0f);
  FrameConstants c = WorkedConstants(wide(random));
  for (float* colour : {c.uCFill, c.uCFar, c.uCNear, c.uCGrad})
    for (int i = 0; i < 3; ++i) colour[i] = unit(random);
  for (float& factor : c.uBr) factor = 2.0f * unit(random);
  c.uSpot[0] = wide(random);
  c.uSpot[1] = wide(random);
  c.uExt[0] *= 1.0f + unit(random);  // reach outside the wall square too
  c.uTone[0] = light ? 1.0f : 0.0f;
  return c;
}

TEST(BackgroundShader, OutputsAreWholeStepsWithOpaqueAlphaInBothVariants) {
  Scene scene;
  std::mt19937 random(11);
  for (int frameIndex = 0; frameIndex < 40; ++frameIndex) {
    BackgroundFrame frame;
    PrepareBackgroundFrame(RandomConstants(random, frameIndex % 2 == 1), scene.wall.view,
                           scene.spot.view, &frame);
    for (int i = 0; i < 200; ++i) {
      float rgba[4];
      ShadeBackgroundPixel(frame, (float)(random() % 1920) + 0.5f, (float)(random() % 1080) + 0.5f,
                           rgba);
      for (int channel = 0; channel < 3; ++channel) {
        float steps = rgba[channel] * 255.0f;
        EXPECT_NEAR(steps, std::round(steps), 1e-3f);
        EXPECT_GE(rgba[channel], 0.0f);
        EXPECT_LE(rgba[channel], 1.00001f);
      }
      EXPECT_EQ(rgba[3], 1.0f);
    }
  }
}

TEST(BackgroundShader, VariantChoiceFillAndLightTints) {
  FrameConstants c = WorkedConstants(0.0f);
  c.uTone[0] = 0.5f;  // only values above one half select the light variant
  BackgroundFrame frame;
  PrepareBackgroundFrame(c, SampledTexture{}, SampledTexture{}, &frame);
  EXPECT_FALSE(frame.light);
  c.uTone[0] = std::nextafter(0.5f, 1.0f);
  PrepareBackgroundFrame(c, SampledTexture{}, SampledTexture{}, &frame);
  EXPECT_TRUE(frame.light);
  // A black far colour leaves exactly the base blue-grey; a coloured one shifts it a little.
  EXPECT_EQ(frame.farTint[0], 0.70f);
  EXPECT_EQ(frame.farTint[1], 0.77f);
  EXPECT_EQ(frame.farTint[2], 0.88f);
  c.uCNear[0] = 0.5f;  // pure red at half brightness: h = (1, 0, 0)
  PrepareBackgroundFrame(c, SampledTexture{}, SampledTexture{}, &frame);
  EXPECT_NEAR(frame.nearTint[0], 0.52f + 0.07f * (2.0f / 3.0f), 1e-6f);
  EXPECT_NEAR(frame.nearTint[1], 0.62f - 0.07f / 3.0f, 1e-6f);

  // The fill saturates before any layer: a pixel outside the wall, the spot and the band
  // shows it alone.
  c = {};
  c.uRes[0] = c.uRes[1] = 2.0f;
  c.uExt[0] = c.uExt[1] = 100.0f;
  c.uGeo[2] = 1.0f;
  c.uSpot[3] = 1.0f;
  c.uGeo[3] = -1000.0f;
  c.uCFill[0] = 0.6f, c.uCFill[1] = 0.3f, c.uCFill[2] = 0.1f;
  c.uBr[0] = 2.0f;
  PrepareBackgroundFrame(c, SampledTexture{}, SampledTexture{}, &frame);
  uint8_t rgba[4];
  ShadeBackgroundSpan(frame, 0, 0, 1, rgba);
  EXPECT_EQ(rgba[0], 255);
  EXPECT_EQ(rgba[1], 153);
  EXPECT_EQ(rgba[2], 51);
  EXPECT_EQ(rgba[3], 255);
  // The light variant outside the wall is the plain light grey.
  c.uTone[0] = 1.0f;
  PrepareBackgroundFrame(c, SampledTexture{}, SampledTexture{}, &frame);
  ShadeBackgroundSpan(frame, 0, 0, 1, rgba);
  EXPECT_EQ(rgba[0], 247);
  EXPECT_EQ(rgba[1], 247);
  EXPECT_EQ(rgba[2], 249);
}

TEST(BackgroundShader, NonFiniteConstantsStayDefined) {
  Scene scene;
  const float odd[] = {NAN, INFINITY, -INFINITY, 0.0f, 3e38f};
  std::mt19937 random(3);
  for (int round = 0; round < 300; ++round) {
    FrameConstants c = RandomConstants(random, round % 2 == 0);
    float* fields = (float*)&c;
    for (int k = 0; k < 3; ++k) fields[random() % 40] = odd[random() % 5];
    BackgroundFrame frame;
    PrepareBackgroundFrame(c, scene.wall.view, scene.spot.view, &frame);
    uint8_t rgba[16 * 4];
    ShadeBackgroundSpan(frame, (uint32_t)(random() % 1080), 0, 16, rgba);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(rgba[i * 4 + 3], 255);
  }
}

std::string ReadSource(const char* name) {
  std::ifstream file(std::string(VELMORA_SOURCE_DIR) + "/shaders/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

HRESULT Compile(const std::string& source, const char* entry, const char* target,
                std::string* error = nullptr, const D3D_SHADER_MACRO* defines = nullptr) {
  ID3DBlob* code = nullptr;
  ID3DBlob* errors = nullptr;
  HRESULT hr = D3DCompile(source.data(), source.size(), "test.hlsl", defines, nullptr, entry,
                          target, D3DCOMPILE_OPTIMIZATION_LEVEL3, 0, &code, &errors);
  EXPECT_EQ(SUCCEEDED(hr), code != nullptr);
  EXPECT_EQ(FAILED(hr), errors != nullptr);
  if (errors && error) *error = (const char*)errors->GetBufferPointer();
  if (code) code->Release();
  if (errors) errors->Release();
  return hr;
}

TEST(ShaderCompiler, AcceptsExactlyTheSourcesItHasKernelsFor) {
  std::string pixel = ReadSource("background.hlsl"), vertex = ReadSource("fullscreen.hlsl");
  ASSERT_FALSE(pixel.empty());
  ASSERT_FALSE(vertex.empty());
  // If this fails, the HLSL changed without the kernel and its recorded hash following it.
  EXPECT_EQ(Compile(pixel, "PSMain", "ps_5_0"), S_OK);
  EXPECT_EQ(Compile(vertex, "VSMain", "vs_5_0"), S_OK);

  std::string error;
  std::string edited = pixel;
  edited.replace(edited.find("0.07"), 4, "0.08");
  EXPECT_EQ(Compile(edited, "PSMain", "ps_5_0", &error), E_FAIL);
  EXPECT_NE(error.find("test.hlsl"), std::string::npos);
  EXPECT_EQ(Compile(pixel + "\n", "PSMain", "ps_5_0"), E_FAIL);
  EXPECT_EQ(Compile(pixel, "main", "ps_5_0"), E_FAIL);
  EXPECT_EQ(Compile(pixel, "PSMain", "ps_4_0"), E_FAIL);
  EXPECT_EQ(Compile(vertex, "VSMain", "ps_5_0"), E_FAIL);
  const D3D_SHADER_MACRO defines[] = {{"LIGHT", "1"}, {nullptr, nullptr}};
  EXPECT_EQ(Compile(pixel, "PSMain", "ps_5_0", nullptr, defines), E_FAIL);
}

}  // namespace
