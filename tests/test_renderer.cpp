// The renderer on the software device: start-up and its failure boxes, texture payloads,
// swap chains, and frames that cover every pixel of any target.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "platform/portable/control/d3d11_control.h"
#include "platform/win32.h"
#include "app/resources.h"
#include "render/renderer.h"

namespace {

class Renderer : public ::testing::Test {
 protected:
  void SetUp() override {
    ReleaseRenderer();
    gApp = AppState();
    gApp.lang = kLangEnglish;
    PortableResetFailures();
    liveBefore = PortableLiveObjectCount();
  }
  void TearDown() override {
    ReleaseRenderer();
    PortableResetFailures();
    EXPECT_EQ(PortableLiveObjectCount(), liveBefore) << "graphics objects leaked";
  }

  // Starts the renderer and returns what its error box said, if anything.
  std::string StartAndCaptureBox(bool offscreen, bool* started) {
    ::testing::internal::CaptureStderr();
    *started = StartRenderer(offscreen);
    return ::testing::internal::GetCapturedStderr();
  }

  struct Target {
    ID3D11Texture2D* texture = nullptr;
    ID3D11RenderTargetView* view = nullptr;
    ~Target() {
      ReleaseObject(view);
      ReleaseObject(texture);
    }
  };

  void MakeTarget(UINT width, UINT height, Target* target) {
    D3D11_TEXTURE2D_DESC desc = {width,
                                 height,
                                 1,
                                 1,
                                 DXGI_FORMAT_R8G8B8A8_UNORM,
                                 {1, 0},
                                 D3D11_USAGE_DEFAULT,
                                 D3D11_BIND_RENDER_TARGET,
                                 0,
                                 0};
    ASSERT_EQ(gApp.device->CreateTexture2D(&desc, nullptr, &target->texture), S_OK);
    ASSERT_EQ(gApp.device->CreateRenderTargetView(target->texture, nullptr, &target->view), S_OK);
  }

  std::vector<uint8_t> ReadBack(ID3D11Texture2D* texture) {
    D3D11_TEXTURE2D_DESC desc;
    texture->GetDesc(&desc);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    ID3D11Texture2D* staging = nullptr;
    EXPECT_EQ(gApp.device->CreateTexture2D(&desc, nullptr, &staging), S_OK);
    std::vector<uint8_t> pixels;
    if (!staging) return pixels;
    gApp.context->CopyResource(staging, texture);
    D3D11_MAPPED_SUBRESOURCE mapped;
    EXPECT_EQ(gApp.context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
    for (UINT y = 0; y < desc.Height; ++y) {
      const uint8_t* row = (const uint8_t*)mapped.pData + y * mapped.RowPitch;
      pixels.insert(pixels.end(), row, row + 4 * desc.Width);
    }
    gApp.context->Unmap(staging, 0);
    ReleaseObject(staging);
    return pixels;
  }

  static AnimValues SomeValues() {
    return {0.3f, 0.1f, 0.2f, {0.8f, 0.2f, 0.2f}, {0.6f, 0.3f, 0.3f}, {0.9f, 0.5f, 0.4f},
            {0.7f, 0.4f, 0.3f}, {1, 1, 1, 1}, {kTitleSpotX, kTitleSpotY}};
  }

  int liveBefore = 0;
};

TEST_F(Renderer, StartsOffscreenWithEveryObjectButTheSwapChain) {
  bool started = false;
  EXPECT_EQ(StartAndCaptureBox(true, &started), "");
  ASSERT_TRUE(started);
  const void* objects[] = {gApp.device,         gApp.context,  gApp.vertexShader,
                           gApp.pixelShader,    gApp.wallView, gApp.spotView,
                           gApp.constantBuffer, gApp.wallSampler, gApp.spotSampler};
  for (size_t i = 0; i < std::size(objects); ++i) EXPECT_NE(objects[i], nullptr) << "object " << i;
  EXPECT_EQ(gApp.swapChain, nullptr);
  EXPECT_EQ(gApp.renderTargetView, nullptr);

  D3D11_BUFFER_DESC buffer;
  gApp.constantBuffer->GetDesc(&buffer);
  EXPECT_EQ(buffer.ByteWidth, 160u);
  EXPECT_EQ(buffer.Usage, D3D11_USAGE_DYNAMIC);
  EXPECT_EQ(buffer.CPUAccessFlags, (UINT)D3D11_CPU_ACCESS_WRITE);

  // A second start replaces everything rather than leaking the first set.
  ASSERT_TRUE(StartRenderer(true));
}

TEST_F(Renderer, EachStartFailureShowsItsTextAndCode) {
  const struct {
    PortableD3DFailure failure;
    const char* box;
  } cases[] = {
      {PortableD3DFailure::Device,
       "Velmora Title Background: Failed to create the Direct3D 11 device\n"
       "Error code: 0x80004005\n"},
      {PortableD3DFailure::PixelShader,
       "Velmora Title Background: Failed to create the shaders\nError code: 0x80004005\n"},
      {PortableD3DFailure::Texture,
       "Velmora Title Background: Failed to create the textures\nError code: 0x80004005\n"},
  };
  for (const auto& c : cases) {
    PortableFailNext(c.failure);
    bool started = true;
    EXPECT_EQ(StartAndCaptureBox(true, &started), c.box);
    EXPECT_FALSE(started);
    ReleaseRenderer();
    PortableResetFailures();
  }

  // The spot texture is not attempted after the wall texture failed.
  PortableFailNext(PortableD3DFailure::Texture);
  bool started = true;
  StartAndCaptureBox(true, &started);
  EXPECT_FALSE(started);
  EXPECT_EQ(gApp.wallView, nullptr);
  EXPECT_EQ(gApp.spotView, nullptr);

  // A failed device leaves no half-made device behind.
  PortableFailNext(PortableD3DFailure::Device);
  StartAndCaptureBox(true, &started);
  EXPECT_EQ(gApp.device, nullptr);
  EXPECT_EQ(gApp.context, nullptr);
}

TEST_F(Renderer, TexturePayloadsShorterThanTheirFormatNeedsAreRefused) {
  ASSERT_TRUE(StartRenderer(true));
  ID3D11ShaderResourceView* view = nullptr;
  ::testing::internal::CaptureStderr();
  // The vertex shader's source is far shorter than a 2048 x 2048 block image.
  EXPECT_FALSE(LoadTexture(ResourceVertexShader, 2048, DXGI_FORMAT_BC3_UNORM, 8192, &view));
  // One row of blocks more than the spot payload holds.
  EXPECT_FALSE(LoadTexture(ResourceSpotTexture, 516, DXGI_FORMAT_BC1_UNORM, 1032, &view));
  // A BC3 reading of the BC1 payload needs twice its bytes.
  EXPECT_FALSE(LoadTexture(ResourceSpotTexture, 512, DXGI_FORMAT_BC3_UNORM, 2048, &view));
  EXPECT_FALSE(LoadTexture(999, 4, DXGI_FORMAT_BC1_UNORM, 8, &view));
  std::string boxes = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(view, nullptr);
  size_t count = 0;
  for (size_t at = boxes.find("Failed to create the textures"); at != std::string::npos;
       at = boxes.find("Failed to create the textures", at + 1))
    ++count;
  EXPECT_EQ(count, 4u) << boxes;

  // Exactly long enough is accepted, also for a smaller image read from its start.
  EXPECT_TRUE(LoadTexture(ResourceSpotTexture, 512, DXGI_FORMAT_BC1_UNORM, 1024, &view));
  EXPECT_NE(view, nullptr);
  EXPECT_TRUE(LoadTexture(ResourceWallTexture, 8, DXGI_FORMAT_BC3_UNORM, 8192, &view));
  ReleaseObject(view);
}

TEST_F(Renderer, FramesCoverEveryPixelOfAnyTarget) {
  ASSERT_TRUE(StartRenderer(true));
  const AnimValues values = SomeValues();
  const UINT sizes[][2] = {{1, 1}, {2, 1}, {1, 3}, {7, 5}, {64, 3}, {33, 47}};
  for (const auto& size : sizes) {
    Target target;
    MakeTarget(size[0], size[1], &target);
    ASSERT_TRUE(DrawFrame(target.view, size[0], size[1], values));
    std::vector<uint8_t> pixels = ReadBack(target.texture);
    ASSERT_EQ(pixels.size(), 4u * size[0] * size[1]);
    for (size_t i = 3; i < pixels.size(); i += 4)
      ASSERT_EQ(pixels[i], 255) << size[0] << "x" << size[1] << " pixel " << i / 4;
  }
}

TEST_F(Renderer, FramesFollowValuesSceneAndToneAndRepeatExactly) {
  ASSERT_TRUE(StartRenderer(true));
  Target target;
  MakeTarget(48, 32, &target);
  AnimValues values = SomeValues();
  auto draw = [&]() {
    EXPECT_TRUE(DrawFrame(target.view, 48, 32, values));
    return ReadBack(target.texture);
  };
  const std::vector<uint8_t> first = draw();
  EXPECT_TRUE(draw() == first);

  values.angle += 0.5f;
  EXPECT_TRUE(draw() != first);
  values = SomeValues();
  gApp.scene = kSceneMainMenu;
  EXPECT_TRUE(draw() != first);
  gApp.scene = kSceneTitle;
  gApp.tone = kToneLight;
  std::vector<uint8_t> light = draw();
  EXPECT_TRUE(light != first);
  gApp.tone = kToneOriginal;
  EXPECT_TRUE(draw() == first);

  // The light tone is a white and light-grey picture: on average far brighter.
  auto mean = [](const std::vector<uint8_t>& rgba) {
    double sum = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) sum += rgba[i] + rgba[i + 1] + rgba[i + 2];
    return sum / (rgba.size() / 4 * 3);
  };
  EXPECT_GT(mean(light), 150.0);
  EXPECT_GT(mean(light), mean(first) + 40.0);
}

TEST_F(Renderer, FailedConstantUploadDrawsNothing) {
  ASSERT_TRUE(StartRenderer(true));
  Target target;
  MakeTarget(8, 8, &target);
  PortableFailNext(PortableD3DFailure::Map);
  EXPECT_FALSE(DrawFrame(target.view, 8, 8, SomeValues()));
  std::vector<uint8_t> pixels = ReadBack(target.texture);
  EXPECT_EQ(pixels, std::vector<uint8_t>(pixels.size(), 0)) << "the target was drawn into";
  EXPECT_TRUE(DrawFrame(target.view, 8, 8, SomeValues()));
}

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

class RendererOnWindow : public Renderer {
 protected:
  void SetUp() override {
    Renderer::SetUp();
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = PlainWindowProc;
    windowClass.lpszClassName = L"RendererTestWindow";
    RegisterClassExW(&windowClass);
    gApp.mainWindow = CreateWindowExW(0, L"RendererTestWindow", L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                      64, 48, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(gApp.mainWindow, nullptr);
    gApp.renderWidth = 64;
    gApp.renderHeight = 48;
  }
  void TearDown() override {
    ReleaseRenderer();
    DestroyWindow(gApp.mainWindow);
    Renderer::TearDown();
  }
};

TEST_F(RendererOnWindow, SwapChainPrefersTheFlipModelAndPresentsFrames) {
  bool started = false;
  EXPECT_EQ(StartAndCaptureBox(false, &started), "");
  ASSERT_TRUE(started);
  ASSERT_NE(gApp.swapChain, nullptr);
  ASSERT_NE(gApp.renderTargetView, nullptr);
  DXGI_SWAP_CHAIN_DESC1 desc;
  ASSERT_EQ(gApp.swapChain->GetDesc1(&desc), S_OK);
  EXPECT_EQ(desc.Width, 64u);
  EXPECT_EQ(desc.Height, 48u);
  EXPECT_EQ(desc.Format, DXGI_FORMAT_R8G8B8A8_UNORM);
  EXPECT_EQ(desc.BufferCount, 2u);
  EXPECT_EQ(desc.SwapEffect, DXGI_SWAP_EFFECT_FLIP_DISCARD);
  EXPECT_EQ(desc.AlphaMode, DXGI_ALPHA_MODE_IGNORE);

  ASSERT_TRUE(DrawFrame(gApp.renderTargetView, 64, 48, SomeValues()));
  gApp.swapChain->Present(1, 0);
  std::vector<uint8_t> image;
  UINT width = 0, height = 0;
  ASSERT_TRUE(PortableReadPresented(gApp.swapChain, &image, &width, &height));
  EXPECT_EQ(width, 64u);
  EXPECT_EQ(height, 48u);
  for (size_t i = 3; i < image.size(); i += 4) ASSERT_EQ(image[i], 255);

  // A new swap chain for the same window keeps the device, shaders and textures.
  ID3D11PixelShader* shader = gApp.pixelShader;
  ID3D11ShaderResourceView* wall = gApp.wallView;
  ASSERT_TRUE(CreateSwapChain());
  EXPECT_EQ(gApp.pixelShader, shader);
  EXPECT_EQ(gApp.wallView, wall);
}

TEST_F(RendererOnWindow, SwapChainFallsBackOnceThenReports) {
  PortableFailNext(PortableD3DFailure::SwapChain);
  bool started = false;
  EXPECT_EQ(StartAndCaptureBox(false, &started), "");
  ASSERT_TRUE(started);
  DXGI_SWAP_CHAIN_DESC1 desc;
  ASSERT_EQ(gApp.swapChain->GetDesc1(&desc), S_OK);
  EXPECT_EQ(desc.BufferCount, 1u);
  EXPECT_EQ(desc.SwapEffect, DXGI_SWAP_EFFECT_DISCARD);
  EXPECT_NE(gApp.renderTargetView, nullptr);

  ReleaseRenderer();
  PortableFailNext(PortableD3DFailure::SwapChain, 2);
  EXPECT_EQ(StartAndCaptureBox(false, &started),
            "Velmora Title Background: Failed to create the swap chain\nError code: 0x80004005\n");
  EXPECT_FALSE(started);
  EXPECT_EQ(gApp.swapChain, nullptr);
}

}  // namespace
