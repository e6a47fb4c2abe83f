#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "platform/portable/blocks/block_decode.h"
#include "platform/portable/control/d3d11_control.h"
#include "platform/portable/control/desktop_control.h"
#include "platform/portable/d3d11/d3d11.h"
#include "platform/portable/d3d11/objects.h"
#include "platform/portable/d3d11/rasterizer.h"
#include "platform/portable/kernels/background_kernel.h"
#include "platform/portable/win32/kernel.h"
#include "platform/portable/win32/user32.h"
#include "render/frame_constants.h"

namespace {

template <class T>
void SafeRelease(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

ID3D11Device* CreateWarpDevice(ID3D11DeviceContext** context = nullptr) {
  ID3D11Device* device = nullptr;
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, 0, nullptr, 0,
                              D3D11_SDK_VERSION, &device, nullptr, context),
            S_OK);
  return device;
}

D3D11_TEXTURE2D_DESC TextureDesc(UINT width, UINT height, DXGI_FORMAT format, D3D11_USAGE usage,
                                 UINT bind, UINT cpu = 0) {
  D3D11_TEXTURE2D_DESC desc = {};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = format;
  desc.SampleDesc.Count = 1;
  desc.Usage = usage;
  desc.BindFlags = bind;
  desc.CPUAccessFlags = cpu;
  return desc;
}

const void* ResourceBytes(int id, DWORD* size) {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_RCDATA);
  *size = SizeofResource(nullptr, resource);
  return LockResource(LoadResource(nullptr, resource));
}

ID3DBlob* CompileResource(int id, const char* entry, const char* target) {
  DWORD size = 0;
  const void* source = ResourceBytes(id, &size);
  ID3DBlob* code = nullptr;
  EXPECT_EQ(D3DCompile(source, size, nullptr, nullptr, nullptr, entry, target, 0, 0, &code, nullptr),
            S_OK);
  return code;
}

// A visible window of the portable desktop for swap chains.
HWND ChainWindow() {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.lpszClassName = L"ChainWindow";
  RegisterClassExW(&windowClass);  // refused harmlessly once the class exists
  return CreateWindowExW(0, L"ChainWindow", L"", WS_POPUP | WS_VISIBLE, 0, 0, 8, 6, nullptr,
                         nullptr, nullptr, nullptr);
}

// A swap chain of 8 x 6 for the window (flip model with two buffers, discard with one),
// or null.
IDXGISwapChain1* MakeChain(ID3D11Device* device, HWND window,
                           DXGI_SWAP_EFFECT effect = DXGI_SWAP_EFFECT_FLIP_DISCARD) {
  IDXGIDevice* dxgiDevice = nullptr;
  IDXGIAdapter* adapter = nullptr;
  IDXGIFactory2* factory = nullptr;
  IDXGISwapChain1* chain = nullptr;
  device->QueryInterface(IID_IDXGIDevice, (void**)&dxgiDevice);
  dxgiDevice->GetAdapter(&adapter);
  adapter->GetParent(IID_IDXGIFactory2, (void**)&factory);
  UINT buffers = effect == DXGI_SWAP_EFFECT_DISCARD ? 1 : 2;
  DXGI_SWAP_CHAIN_DESC1 desc = {8, 6, DXGI_FORMAT_R8G8B8A8_UNORM, FALSE, {1, 0},
                                DXGI_USAGE_RENDER_TARGET_OUTPUT, buffers, DXGI_SCALING_STRETCH,
                                effect, DXGI_ALPHA_MODE_IGNORE, 0};
  factory->CreateSwapChainForHwnd(device, window, &desc, nullptr, nullptr, &chain);
  factory->Release();
  adapter->Release();
  dxgiDevice->Release();
  return chain;
}

// The renderer's objects and bindings, made through Direct3D calls only, on a target of its own.
struct Pipeline {
  ID3D11Device* device = nullptr;
  ID3D11DeviceContext* context = nullptr;
  ID3D11VertexShader* vertexShader = nullptr;
  ID3D11PixelShader* pixelShader = nullptr;
  ID3D11Buffer* constants = nullptr;
  ID3D11ShaderResourceView* views[2] = {};
  ID3D11SamplerState* samplers[2] = {};
  ID3D11Texture2D* target = nullptr;
  ID3D11RenderTargetView* targetView = nullptr;
  ID3D11Texture2D* staging = nullptr;
  UINT width = 0, height = 0;

  Pipeline(UINT w, UINT h, D3D11_CULL_MODE cull = D3D11_CULL_NONE) : width(w), height(h) {
    device = CreateWarpDevice(&context);
    ID3DBlob* vs = CompileResource(104, "VSMain", "vs_5_0");
    ID3DBlob* ps = CompileResource(103, "PSMain", "ps_5_0");
    EXPECT_EQ(device->CreateVertexShader(vs->GetBufferPointer(), vs->GetBufferSize(), nullptr,
                                         &vertexShader),
              S_OK);
    EXPECT_EQ(device->CreatePixelShader(ps->GetBufferPointer(), ps->GetBufferSize(), nullptr,
                                        &pixelShader),
              S_OK);
    vs->Release();
    ps->Release();
    D3D11_BUFFER_DESC buffer = {160, D3D11_USAGE_DYNAMIC, D3D11_BIND_CONSTANT_BUFFER,
                                D3D11_CPU_ACCESS_WRITE, 0, 0};
    EXPECT_EQ(device->CreateBuffer(&buffer, nullptr, &constants), S_OK);
    const struct {
      int id;
      UINT edge, pitch;
      DXGI_FORMAT format;
    } textures[2] = {{101, 2048, 8192, DXGI_FORMAT_BC3_UNORM}, {102, 512, 1024, DXGI_FORMAT_BC1_UNORM}};
    for (int i = 0; i < 2; ++i) {
      DWORD size = 0;
      D3D11_SUBRESOURCE_DATA data = {ResourceBytes(textures[i].id, &size), textures[i].pitch, 0};
      D3D11_TEXTURE2D_DESC desc = TextureDesc(textures[i].edge, textures[i].edge, textures[i].format,
                                              D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE);
      ID3D11Texture2D* texture = nullptr;
      EXPECT_EQ(device->CreateTexture2D(&desc, &data, &texture), S_OK);
      EXPECT_EQ(device->CreateShaderResourceView(texture, nullptr, &views[i]), S_OK);
      texture->Release();
    }
    D3D11_RASTERIZER_DESC raster = {D3D11_FILL_SOLID, cull, FALSE, 0, 0, 0, TRUE, FALSE, FALSE, FALSE};
    ID3D11RasterizerState* state = nullptr;
    EXPECT_EQ(device->CreateRasterizerState(&raster, &state), S_OK);
    context->RSSetState(state);
    state->Release();
    for (int i = 0; i < 2; ++i) {
      D3D11_SAMPLER_DESC sampler = {};
      sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
      sampler.AddressU = sampler.AddressV = sampler.AddressW =
          i == 0 ? D3D11_TEXTURE_ADDRESS_WRAP : D3D11_TEXTURE_ADDRESS_CLAMP;
      sampler.ComparisonFunc = D3D11_COMPARISON_NEVER;
      EXPECT_EQ(device->CreateSamplerState(&sampler, &samplers[i]), S_OK);
    }
    // The target starts transparent black, so every pixel the draw reaches shows alpha 255.
    std::vector<uint8_t> clear((size_t)w * h * 4, 0);
    D3D11_SUBRESOURCE_DATA initial = {clear.data(), w * 4, 0};
    D3D11_TEXTURE2D_DESC desc =
        TextureDesc(w, h, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET);
    EXPECT_EQ(device->CreateTexture2D(&desc, &initial, &target), S_OK);
    EXPECT_EQ(device->CreateRenderTargetView(target, nullptr, &targetView), S_OK);
    desc = TextureDesc(w, h, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_STAGING, 0, D3D11_CPU_ACCESS_READ);
    EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, &staging), S_OK);
  }

  ~Pipeline() {
    context->OMSetRenderTargets(0, nullptr, nullptr);
    ID3D11ShaderResourceView* noViews[2] = {};
    context->PSSetShaderResources(0, 2, noViews);
    for (auto* object : {(IUnknown**)&vertexShader, (IUnknown**)&pixelShader, (IUnknown**)&constants,
                         (IUnknown**)&views[0], (IUnknown**)&views[1], (IUnknown**)&samplers[0],
                         (IUnknown**)&samplers[1], (IUnknown**)&target, (IUnknown**)&targetView,
                         (IUnknown**)&staging, (IUnknown**)&context, (IUnknown**)&device})
      SafeRelease(*object);
  }

  void Draw(const FrameConstants& constantsRecord) {
    D3D11_MAPPED_SUBRESOURCE mapped;
    ASSERT_EQ(context->Map(constants, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped), S_OK);
    std::memcpy(mapped.pData, &constantsRecord, sizeof constantsRecord);
    context->Unmap(constants, 0);
    D3D11_VIEWPORT viewport = {0, 0, (float)width, (float)height, 0, 1};
    context->RSSetViewports(1, &viewport);
    context->OMSetRenderTargets(1, &targetView, nullptr);
    context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context->IASetInputLayout(nullptr);
    context->VSSetShader(vertexShader, nullptr, 0);
    context->PSSetShader(pixelShader, nullptr, 0);
    context->PSSetConstantBuffers(0, 1, &constants);
    context->PSSetShaderResources(0, 2, views);
    context->PSSetSamplers(0, 2, samplers);
    context->Draw(3, 0);
  }

  std::vector<uint8_t> Read() {
    context->CopyResource(staging, target);
    D3D11_MAPPED_SUBRESOURCE mapped;
    EXPECT_EQ(context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
    std::vector<uint8_t> pixels((size_t)width * height * 4);
    for (UINT y = 0; y < height; ++y)
      std::memcpy(&pixels[(size_t)y * width * 4], (uint8_t*)mapped.pData + (size_t)y * mapped.RowPitch,
                  (size_t)width * 4);
    context->Unmap(staging, 0);
    return pixels;
  }
};

FrameConstants TitleConstants(UINT width, UINT height, float angle) {
  FrameConstants c = {};
  c.uRes[0] = (float)width;
  c.uRes[1] = (float)height;
  float aspect = (float)width / (float)height;
  c.uExt[0] = aspect >= 1.0f ? 5.397753f * aspect : 5.397753f;
  c.uExt[1] = aspect >= 1.0f ? 5.397753f : 5.397753f / aspect;
  c.uAng = angle;
  c.uFarT = 0.25f;
  c.uNearT = 0.5f;
  const float fill[3] = {0.3f, 0.05f, 0.08f}, tint[3] = {0.9f, 0.4f, 0.3f};
  std::memcpy(c.uCFill, fill, sizeof fill);
  std::memcpy(c.uCFar, tint, sizeof tint);
  std::memcpy(c.uCNear, tint, sizeof tint);
  std::memcpy(c.uCGrad, fill, sizeof fill);
  for (float& factor : c.uBr) factor = 1.0f;
  const float geo[4] = {2.0f, 3.0f, 2.0f, -0.5f}, spot[4] = {0.0f, 0.0f, 2.0f, 1.0f};
  std::memcpy(c.uGeo, geo, sizeof geo);
  std::memcpy(c.uSpot, spot, sizeof spot);
  return c;
}

size_t OpaquePixels(const std::vector<uint8_t>& pixels) {
  size_t count = 0;
  for (size_t i = 3; i < pixels.size(); i += 4) count += pixels[i] == 255;
  return count;
}

TEST(Device, DriverTypesAndFeatureLevels) {
  int live = PortableLiveObjectCount();
  ID3D11Device* device = nullptr;
  ID3D11DeviceContext* context = nullptr;
  const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1,
                                      D3D_FEATURE_LEVEL_10_0};
  D3D_FEATURE_LEVEL level = (D3D_FEATURE_LEVEL)0;
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, levels, 3,
                              D3D11_SDK_VERSION, &device, &level, &context),
            DXGI_ERROR_UNSUPPORTED);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(context, nullptr);
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, 0, levels, 3, 6, &device,
                              &level, &context),
            E_INVALIDARG);
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, 0, levels, 3,
                              D3D11_SDK_VERSION, &device, &level, &context),
            S_OK);
  EXPECT_EQ(level, D3D_FEATURE_LEVEL_11_0);
  ASSERT_NE(context, nullptr);
  SafeRelease(context);
  SafeRelease(device);

  // A device of level 10_1 cannot take a shader-model-5 pixel shader.
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, 0, levels + 1, 2,
                              D3D11_SDK_VERSION, &device, &level, nullptr),
            S_OK);
  EXPECT_EQ(level, D3D_FEATURE_LEVEL_10_1);
  ID3DBlob* ps = CompileResource(103, "PSMain", "ps_5_0");
  ID3D11PixelShader* shader = nullptr;
  EXPECT_EQ(device->CreatePixelShader(ps->GetBufferPointer(), ps->GetBufferSize(), nullptr, &shader),
            E_INVALIDARG);
  EXPECT_EQ(shader, nullptr);
  ps->Release();
  SafeRelease(device);

  PortableFailNext(PortableD3DFailure::Device);
  EXPECT_EQ(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, 0, levels, 3,
                              D3D11_SDK_VERSION, &device, &level, &context),
            E_FAIL);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(PortableLiveObjectCount(), live);
}

TEST(Device, FullScreenTriangleCoversEveryPixelOnlyWithCullingOff) {
  const UINT sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {2, 3}, {5, 2}, {33, 17}, {97, 64}};
  for (const auto& size : sizes) {
    UINT w = size[0], h = size[1];
    {
      Pipeline none(w, h, D3D11_CULL_NONE);
      none.Draw(TitleConstants(w, h, 0.7f));
      EXPECT_EQ(OpaquePixels(none.Read()), (size_t)w * h) << w << " x " << h;
    }
    {
      Pipeline back(w, h, D3D11_CULL_BACK);
      back.Draw(TitleConstants(w, h, 0.7f));
      EXPECT_EQ(OpaquePixels(back.Read()), 0u) << "the triangle faces away: " << w << " x " << h;
    }
  }
  // Without a rasterizer state, Direct3D's default culls back faces too.
  Pipeline pipeline(4, 4);
  pipeline.context->RSSetState(nullptr);
  pipeline.Draw(TitleConstants(4, 4, 0.0f));
  EXPECT_EQ(OpaquePixels(pipeline.Read()), 0u);
}

TEST(Device, FrameWithTheRealTexturesIsStableAndDefinedForAnyConstants) {
  Pipeline pipeline(96, 54);
  pipeline.Draw(TitleConstants(96, 54, 1.0f));
  std::vector<uint8_t> first = pipeline.Read();
  EXPECT_EQ(OpaquePixels(first), 96u * 54u);
  // Not one flat colour: the ornament and the spot show.
  size_t differing = 0;
  for (size_t i = 0; i < first.size(); i += 4) differing += first[i] != first[0] || first[i + 1] != first[1];
  EXPECT_GT(differing, first.size() / 4 / 4);
  pipeline.Draw(TitleConstants(96, 54, 1.0f));
  EXPECT_EQ(pipeline.Read(), first);

  // The blocks are shared among worker threads; any number of them gives the same bytes.
  for (int threads : {1, 3, 8}) {
    PortableSetWorkerThreads(threads);
    pipeline.Draw(TitleConstants(96, 54, 1.0f));
    EXPECT_EQ(pipeline.Read(), first) << threads << " threads";
  }
  PortableSetWorkerThreads(0);

  std::mt19937 random(5);
  const float odd[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 0.0f};
  for (int round = 0; round < 40; ++round) {
    FrameConstants c = TitleConstants(96, 54, 2.0f);
    c.uTone[0] = (float)(round % 2);
    float* fields = (float*)&c;
    for (int k = 0; k < 4; ++k) fields[random() % 40] = odd[random() % 6];
    pipeline.Draw(c);
    EXPECT_EQ(OpaquePixels(pipeline.Read()), 96u * 54u);
  }
}

// The texture behind a shader resource view, as the kernels read it.
SampledTexture SampledView(ID3D11ShaderResourceView* view, TextureAddress address) {
  ID3D11Resource* resource = nullptr;
  view->GetResource(&resource);
  const auto* texture = dynamic_cast<portable_d3d::Texture*>(resource);
  SampledTexture sampled = texture->Sampled();
  sampled.addressU = sampled.addressV = address;
  resource->Release();
  return sampled;
}

// Targets of many blocks and of parts of one, in neither direction a whole number of
// blocks: the draw shades each pixel once and as the scalar kernel does, whatever order the
// blocks take at the angle and however many threads share them.
TEST(Device, EveryPixelOfADrawIsTheScalarKernels) {
  const UINT sizes[][2] = {{300, 150}, {131, 1}, {1, 131}, {128, 64}};
  for (const auto& size : sizes)
    for (float angle : {0.4f, 2.1f}) {
      const UINT w = size[0], h = size[1];
      Pipeline pipeline(w, h);
      const FrameConstants constants = TitleConstants(w, h, angle);
      BackgroundFrame frame;
      PrepareBackgroundFrame(constants, SampledView(pipeline.views[0], TextureAddress::Wrap),
                             SampledView(pipeline.views[1], TextureAddress::Clamp), &frame);
      std::vector<uint8_t> expected((size_t)w * h * 4);
      for (UINT y = 0; y < h; ++y)
        ShadeBackgroundSpan(frame, y, 0, w, &expected[(size_t)y * w * 4]);
      for (int threads : {1, 2, 3}) {
        PortableSetWorkerThreads(threads);
        pipeline.Draw(constants);
        EXPECT_EQ(pipeline.Read(), expected) << w << " x " << h << ", angle " << angle << ", "
                                             << threads << " threads";
      }
      PortableSetWorkerThreads(0);
    }
}

// Every pixel of a mesh of triangles that share edges (vertices on pixel centres, on
// half-pixels and at random sub-pixel positions, both windings) is covered exactly once.
TEST(Rasterizer, SharedEdgesCoverEachPixelOnce) {
  const UINT width = 40, height = 30;
  const D3D11_VIEWPORT viewport = {0, 0, (float)width, (float)height, 0, 1};
  std::mt19937 random(9);
  for (int layout = 0; layout < 3; ++layout) {
    const int cells = 8;
    float grid[cells + 1][cells + 1][2];
    for (int j = 0; j <= cells; ++j)
      for (int i = 0; i <= cells; ++i) {
        float x = -2.0f + (float)i * (width + 4) / cells, y = -2.0f + (float)j * (height + 4) / cells;
        bool inner = i > 0 && i < cells && j > 0 && j < cells;
        if (inner && layout == 0) x = std::floor(x) + 0.5f, y = std::floor(y) + 0.5f;  // centres
        if (inner && layout == 1) x = std::floor(x), y = std::floor(y);                // corners
        if (inner && layout == 2)
          x += (float)(random() % 200) / 100.0f - 1.0f, y += (float)(random() % 200) / 100.0f - 1.0f;
        grid[j][i][0] = x / width * 2.0f - 1.0f;  // to clip space
        grid[j][i][1] = 1.0f - y / height * 2.0f;
      }
    std::vector<int> coverage(width * height, 0);
    std::vector<RasterSpan> spans;
    for (int j = 0; j < cells; ++j)
      for (int i = 0; i < cells; ++i) {
        const float* a = grid[j][i];
        const float* b = grid[j][i + 1];
        const float* c = grid[j + 1][i];
        const float* d = grid[j + 1][i + 1];
        const float* triangles[2][3] = {{a, b, c}, {b, d, c}};
        for (int t = 0; t < 2; ++t) {
          float clip[3][4];
          for (int v = 0; v < 3; ++v) {
            // Alternate the winding; culling is off.
            const float* p = triangles[t][(i + j + t) % 2 ? v : (3 - v) % 3];
            clip[v][0] = p[0], clip[v][1] = p[1], clip[v][2] = 0.0f, clip[v][3] = 1.0f;
          }
          RasterizeTriangle(clip, viewport, width, height, D3D11_CULL_NONE, false, &spans);
        }
      }
    for (const RasterSpan& span : spans)
      for (UINT x = span.x0; x < span.x1; ++x) ++coverage[span.y * width + x];
    for (UINT y = 0; y < height; ++y)
      for (UINT x = 0; x < width; ++x)
        ASSERT_EQ(coverage[y * width + x], 1) << "layout " << layout << " pixel " << x << ", " << y;
  }
}

TEST(Rasterizer, TopLeftRuleOnAnAxisAlignedSquare) {
  // The square from pixel centre (1.5, 1.5) to (4.5, 4.5): its top and left edges pass
  // through centres that are covered, its bottom and right edges through centres that are not.
  const D3D11_VIEWPORT viewport = {0, 0, 8, 8, 0, 1};
  auto clipX = [](float x) { return x / 8.0f * 2.0f - 1.0f; };
  auto clipY = [](float y) { return 1.0f - y / 8.0f * 2.0f; };
  const float square[4][2] = {{1.5f, 1.5f}, {4.5f, 1.5f}, {1.5f, 4.5f}, {4.5f, 4.5f}};
  const int triangles[2][3] = {{0, 1, 2}, {1, 3, 2}};
  std::vector<RasterSpan> spans;
  for (const auto& triangle : triangles) {
    float clip[3][4];
    for (int v = 0; v < 3; ++v) {
      const float* p = square[triangle[v]];
      clip[v][0] = clipX(p[0]), clip[v][1] = clipY(p[1]), clip[v][2] = 0, clip[v][3] = 1;
    }
    RasterizeTriangle(clip, viewport, 8, 8, D3D11_CULL_NONE, false, &spans);
  }
  std::vector<int> coverage(64, 0);
  for (const RasterSpan& span : spans)
    for (UINT x = span.x0; x < span.x1; ++x) ++coverage[span.y * 8 + x];
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(coverage[y * 8 + x], (x >= 1 && x <= 3 && y >= 1 && y <= 3) ? 1 : 0) << x << ", " << y;
}

TEST(Device, TextureCreationLimits) {
  int live = PortableLiveObjectCount();
  ID3D11Device* device = CreateWarpDevice();
  std::vector<uint8_t> blocks(16 * 4096 * 2, 0);
  auto create = [&](UINT w, UINT h, DXGI_FORMAT format, UINT pitch) {
    D3D11_TEXTURE2D_DESC desc =
        TextureDesc(w, h, format, D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE);
    D3D11_SUBRESOURCE_DATA data = {blocks.data(), pitch, 0};
    ID3D11Texture2D* texture = nullptr;
    HRESULT hr = device->CreateTexture2D(&desc, &data, &texture);
    EXPECT_EQ(SUCCEEDED(hr), texture != nullptr);
    SafeRelease(texture);
    return hr;
  };
  EXPECT_EQ(create(16384, 4, DXGI_FORMAT_BC1_UNORM, 4096 * 8), S_OK);
  EXPECT_EQ(create(4, 16384, DXGI_FORMAT_BC3_UNORM, 16), S_OK);
  EXPECT_EQ(create(16385, 4, DXGI_FORMAT_BC1_UNORM, 4100 * 8), E_INVALIDARG);
  EXPECT_EQ(create(0, 4, DXGI_FORMAT_BC1_UNORM, 8), E_INVALIDARG);
  EXPECT_EQ(create(4, 0, DXGI_FORMAT_BC3_UNORM, 16), E_INVALIDARG);
  EXPECT_EQ(create(6, 4, DXGI_FORMAT_BC1_UNORM, 16), E_INVALIDARG);     // not whole blocks
  EXPECT_EQ(create(8, 8, DXGI_FORMAT_BC3_UNORM, 16), E_INVALIDARG);     // rows of blocks overlap
  EXPECT_EQ(create(8, 8, DXGI_FORMAT_R8G8B8A8_UNORM, 31), E_INVALIDARG);
  D3D11_TEXTURE2D_DESC desc =
      TextureDesc(8, 8, DXGI_FORMAT_BC1_UNORM, D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE);
  ID3D11Texture2D* texture = nullptr;
  EXPECT_EQ(device->CreateTexture2D(&desc, nullptr, &texture), E_INVALIDARG);  // no data
  PortableFailNext(PortableD3DFailure::Texture);
  EXPECT_EQ(create(8, 8, DXGI_FORMAT_BC1_UNORM, 16), E_FAIL);
  EXPECT_EQ(create(8, 8, DXGI_FORMAT_BC1_UNORM, 16), S_OK);
  SafeRelease(device);
  EXPECT_EQ(PortableLiveObjectCount(), live);
}

TEST(Device, BlockTexturesAreDecodedOnceIntoSampledTexels) {
  ID3D11Device* device = CreateWarpDevice();
  // 8 x 8 texels of BC3: four blocks with distinct content.
  std::mt19937 random(1);
  std::vector<uint8_t> blocks(4 * 16);
  for (uint8_t& byte : blocks) byte = (uint8_t)random();
  D3D11_TEXTURE2D_DESC desc =
      TextureDesc(8, 8, DXGI_FORMAT_BC3_UNORM, D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE);
  D3D11_SUBRESOURCE_DATA data = {blocks.data(), 32, 0};
  ID3D11Texture2D* texture = nullptr;
  ASSERT_EQ(device->CreateTexture2D(&desc, &data, &texture), S_OK);
  std::fill(blocks.begin(), blocks.end(), 0);  // the payload is not read after creation
  std::mt19937 again(1);
  std::vector<uint8_t> original(4 * 16);
  for (uint8_t& byte : original) byte = (uint8_t)again();

  auto* internal = dynamic_cast<portable_d3d::Texture*>(texture);
  ASSERT_NE(internal, nullptr);
  SampledTexture sampled = internal->Sampled();
  for (int block = 0; block < 4; ++block) {
    uint8_t decoded[16][4];
    DecodeBC3Block(&original[block * 16], decoded);
    for (int i = 0; i < 16; ++i) {
      int x = (block % 2) * 4 + i % 4, y = (block / 2) * 4 + i / 4;
      float rgba[4];
      SampleBilinear(sampled, ((float)x + 0.5f) / 8, ((float)y + 0.5f) / 8, rgba);
      for (int c = 0; c < 4; ++c) EXPECT_EQ(rgba[c], decoded[i][c] / 255.0f) << x << ", " << y;
    }
  }
  texture->Release();
  device->Release();
}

// A renderer rebuilt after a device loss makes its textures again from the same bytes on a
// new device: they share the first decode, kept after its texture went. Any other bytes,
// size or format decode anew, and every texture samples its own bytes.
TEST(Device, TexturesMadeAgainFromTheSameBytesShareTheirDecode) {
  std::mt19937 random(9);
  std::vector<uint8_t> blocks(4 * 16);  // 8 x 8 texels of BC3: two rows of 32 bytes
  for (uint8_t& byte : blocks) byte = (uint8_t)random();
  std::vector<uint8_t> spaced(2 * 48);  // the same rows 48 bytes apart
  std::copy(blocks.begin(), blocks.begin() + 32, spaced.begin());
  std::copy(blocks.begin() + 32, blocks.end(), spaced.begin() + 48);
  std::vector<uint8_t> lastChanged = blocks;
  lastChanged.back() ^= 1;

  struct Case {
    const char* what;
    UINT width, height;
    DXGI_FORMAT format;
    const std::vector<uint8_t>& bytes;
    UINT pitch;
    bool shared;
  };
  const DXGI_FORMAT bc1 = DXGI_FORMAT_BC1_UNORM, bc3 = DXGI_FORMAT_BC3_UNORM;
  const Case first = {"the first", 8, 8, bc3, blocks, 32, false};
  const Case cases[] = {
      {"the same bytes", 8, 8, bc3, blocks, 32, true},
      {"the same rows further apart", 8, 8, bc3, spaced, 48, true},
      {"the last byte changed", 8, 8, bc3, lastChanged, 32, false},
      {"the same bytes as 16 x 4", 16, 4, bc3, blocks, 64, false},
      {"the same bytes as BC1", 8, 16, bc1, blocks, 16, false},
  };
  // Makes the texture on `device` and checks every texel against its own blocks; its tiles.
  auto make = [](ID3D11Device* device, const Case& c) -> const uint8_t* {
    D3D11_TEXTURE2D_DESC desc = TextureDesc(c.width, c.height, c.format, D3D11_USAGE_IMMUTABLE,
                                            D3D11_BIND_SHADER_RESOURCE);
    D3D11_SUBRESOURCE_DATA data = {c.bytes.data(), c.pitch, 0};
    ID3D11Texture2D* texture = nullptr;
    EXPECT_EQ(device->CreateTexture2D(&desc, &data, &texture), S_OK) << c.what;
    if (!texture) return nullptr;
    const uint8_t* tiles = dynamic_cast<portable_d3d::Texture*>(texture)->Sampled().tiles;
    const UINT blockBytes = c.format == bc1 ? 8 : 16, blocksX = c.width / 4;
    for (UINT b = 0; b < blocksX * (c.height / 4); ++b) {
      const uint8_t* block = c.bytes.data() + b / blocksX * c.pitch + b % blocksX * blockBytes;
      uint8_t decoded[16][4];
      c.format == bc1 ? DecodeBC1Block(block, decoded) : DecodeBC3Block(block, decoded);
      EXPECT_EQ(std::memcmp(tiles + b * 64, decoded, 64), 0) << c.what << ", block " << b;
    }
    texture->Release();
    return tiles;
  };

  ID3D11Device* lost = CreateWarpDevice();
  const uint8_t* firstTiles = make(lost, first);
  lost->Release();
  ID3D11Device* device = CreateWarpDevice();
  for (const Case& c : cases) EXPECT_EQ(make(device, c) == firstTiles, c.shared) << c.what;
  device->Release();
}

TEST(Device, ReferenceCountsFollowCom) {
  int live = PortableLiveObjectCount();
  ID3D11DeviceContext* context = nullptr;
  ID3D11Device* device = CreateWarpDevice(&context);
  std::vector<uint8_t> blocks(8 * 4, 0);
  D3D11_TEXTURE2D_DESC desc =
      TextureDesc(8, 8, DXGI_FORMAT_BC1_UNORM, D3D11_USAGE_IMMUTABLE, D3D11_BIND_SHADER_RESOURCE);
  D3D11_SUBRESOURCE_DATA data = {blocks.data(), 16, 0};
  ID3D11Texture2D* texture = nullptr;
  ID3D11ShaderResourceView* view = nullptr;
  ASSERT_EQ(device->CreateTexture2D(&desc, &data, &texture), S_OK);
  ASSERT_EQ(device->CreateShaderResourceView(texture, nullptr, &view), S_OK);
  int withView = PortableLiveObjectCount();
  EXPECT_EQ(texture->Release(), 1u) << "the view holds the other reference";
  EXPECT_EQ(PortableLiveObjectCount(), withView) << "the view keeps its texture";
  ID3D11Resource* resource = nullptr;
  view->GetResource(&resource);
  EXPECT_EQ((void*)resource, (void*)static_cast<ID3D11Resource*>(texture));
  resource->Release();

  context->PSSetShaderResources(0, 1, &view);
  view->Release();
  EXPECT_EQ(PortableLiveObjectCount(), withView) << "the context holds what is bound";
  ID3D11ShaderResourceView* none = nullptr;
  context->PSSetShaderResources(0, 1, &none);
  EXPECT_EQ(PortableLiveObjectCount(), withView - 2);

  // A child outlives the device's last reference and still reaches it.
  ASSERT_EQ(device->CreateTexture2D(&desc, &data, &texture), S_OK);
  context->Release();
  device->Release();
  ID3D11Device* again = nullptr;
  texture->GetDevice(&again);
  ASSERT_NE(again, nullptr);
  again->Release();
  texture->Release();
  EXPECT_EQ(PortableLiveObjectCount(), live);

  // Bindings held by the context go with the device's last reference.
  device = CreateWarpDevice(&context);
  ASSERT_EQ(device->CreateTexture2D(&desc, &data, &texture), S_OK);
  ASSERT_EQ(device->CreateShaderResourceView(texture, nullptr, &view), S_OK);
  texture->Release();
  context->PSSetShaderResources(1, 1, &view);
  view->Release();
  context->Release();
  device->Release();
  EXPECT_EQ(PortableLiveObjectCount(), live);
}

TEST(Device, MapRulesAndInjectedFailure) {
  Pipeline pipeline(4, 4);
  D3D11_MAPPED_SUBRESOURCE mapped;
  EXPECT_EQ(pipeline.context->Map(pipeline.constants, 0, D3D11_MAP_READ, 0, &mapped), E_INVALIDARG);
  EXPECT_EQ(pipeline.context->Map(pipeline.target, 0, D3D11_MAP_READ, 0, &mapped), E_INVALIDARG);
  EXPECT_EQ(pipeline.context->Map(pipeline.staging, 0, D3D11_MAP_WRITE, 0, &mapped), E_INVALIDARG);
  PortableFailNext(PortableD3DFailure::Map);
  EXPECT_EQ(pipeline.context->Map(pipeline.staging, 0, D3D11_MAP_READ, 0, &mapped), E_FAIL);
  EXPECT_EQ(mapped.pData, nullptr);
  ASSERT_EQ(pipeline.context->Map(pipeline.staging, 0, D3D11_MAP_READ, 0, &mapped), S_OK);
  EXPECT_EQ(mapped.RowPitch, 16u);
  pipeline.context->Unmap(pipeline.staging, 0);
}

TEST(Dxgi, SwapChainsPresentResizeAndFail) {
  int live = PortableLiveObjectCount();
  {
    Pipeline pipeline(8, 6);
    IDXGIDevice* dxgiDevice = nullptr;
    IDXGIAdapter* adapter = nullptr;
    IDXGIFactory2* factory = nullptr;
    ASSERT_EQ(pipeline.device->QueryInterface(IID_IDXGIDevice, (void**)&dxgiDevice), S_OK);
    ASSERT_EQ(dxgiDevice->GetAdapter(&adapter), S_OK);
    ASSERT_EQ(adapter->GetParent(IID_IDXGIFactory2, (void**)&factory), S_OK);
    PortableResetDesktop();
    HWND window = ChainWindow();

    DXGI_SWAP_CHAIN_DESC1 desc = {8, 6, DXGI_FORMAT_R8G8B8A8_UNORM, FALSE, {1, 0},
                                  DXGI_USAGE_RENDER_TARGET_OUTPUT, 2, DXGI_SCALING_STRETCH,
                                  DXGI_SWAP_EFFECT_FLIP_DISCARD, DXGI_ALPHA_MODE_IGNORE, 0};
    IDXGISwapChain1* chain = nullptr;
    desc.BufferCount = 1;
    EXPECT_EQ(factory->CreateSwapChainForHwnd(pipeline.device, window, &desc, nullptr, nullptr, &chain),
              DXGI_ERROR_INVALID_CALL) << "the flip model needs two buffers";
    desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    for (HWND notAWindow : {(HWND) nullptr, (HWND)(uintptr_t)0x1234})
      EXPECT_EQ(factory->CreateSwapChainForHwnd(pipeline.device, notAWindow, &desc, nullptr, nullptr,
                                                &chain),
                DXGI_ERROR_INVALID_CALL);
    PortableFailNext(PortableD3DFailure::SwapChain);
    EXPECT_EQ(factory->CreateSwapChainForHwnd(pipeline.device, window, &desc, nullptr, nullptr, &chain),
              E_FAIL);
    ASSERT_EQ(factory->CreateSwapChainForHwnd(pipeline.device, window, &desc, nullptr, nullptr, &chain),
              S_OK);
    SafeRelease(chain);
    desc.BufferCount = 2;
    desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
    PortableRefuseFlipModel(true);
    EXPECT_EQ(
        factory->CreateSwapChainForHwnd(pipeline.device, window, &desc, nullptr, nullptr, &chain),
        DXGI_ERROR_INVALID_CALL)
        << "a system without the flip model";
    PortableRefuseFlipModel(false);
    ASSERT_EQ(factory->CreateSwapChainForHwnd(pipeline.device, window, &desc, nullptr, nullptr, &chain),
              S_OK);
    EXPECT_EQ(factory->MakeWindowAssociation(window, DXGI_MWA_NO_WINDOW_CHANGES | DXGI_MWA_NO_ALT_ENTER),
              S_OK);

    std::vector<uint8_t> image;
    UINT w = 0, h = 0;
    EXPECT_FALSE(PortableReadPresented(chain, &image, &w, &h));
    ID3D11Texture2D* buffer = nullptr;
    ASSERT_EQ(chain->GetBuffer(0, IID_ID3D11Texture2D, (void**)&buffer), S_OK);
    ID3D11RenderTargetView* view = nullptr;
    ASSERT_EQ(pipeline.device->CreateRenderTargetView(buffer, nullptr, &view), S_OK);
    buffer->Release();
    SafeRelease(pipeline.targetView);
    pipeline.targetView = view;
    pipeline.Draw(TitleConstants(8, 6, 0.3f));
    EXPECT_EQ(chain->Present(1, 0), S_OK);
    ASSERT_TRUE(PortableReadPresented(chain, &image, &w, &h));
    EXPECT_EQ(w, 8u);
    EXPECT_EQ(h, 6u);
    EXPECT_EQ(OpaquePixels(image), 48u);

    // The buffer may be replaced only once nothing outside the chain holds it.
    EXPECT_EQ(chain->ResizeBuffers(0, 16, 12, DXGI_FORMAT_UNKNOWN, 0), DXGI_ERROR_INVALID_CALL);
    SafeRelease(pipeline.targetView);
    EXPECT_EQ(chain->ResizeBuffers(0, 16385, 12, DXGI_FORMAT_UNKNOWN, 0), E_INVALIDARG);
    PortableFailNext(PortableD3DFailure::ResizeBuffers);
    EXPECT_EQ(chain->ResizeBuffers(0, 16, 12, DXGI_FORMAT_UNKNOWN, 0), E_FAIL);
    EXPECT_EQ(chain->ResizeBuffers(0, 16, 12, DXGI_FORMAT_UNKNOWN, 0), S_OK);
    ASSERT_EQ(chain->GetBuffer(0, IID_ID3D11Texture2D, (void**)&buffer), S_OK);
    D3D11_TEXTURE2D_DESC bufferDesc;
    buffer->GetDesc(&bufferDesc);
    EXPECT_EQ(bufferDesc.Width, 16u);
    EXPECT_EQ(bufferDesc.Height, 12u);
    DXGI_SWAP_CHAIN_DESC1 now;
    chain->GetDesc1(&now);
    EXPECT_EQ(now.BufferCount, 2u);
    buffer->Release();
    chain->Release();
    factory->Release();
    adapter->Release();
    dxgiDevice->Release();
  }
  EXPECT_EQ(PortableLiveObjectCount(), live);
}

LONGLONG Counter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// Only a discard-model chain learns that its window shows nothing, and says so at once
// without waiting for the display; a flip-model chain presents as usual (DXGI_STATUS's
// documentation). A test present shows nothing either way.
TEST(Dxgi, OnlyTheDiscardModelReportsAWindowThatShowsNothing) {
  const struct {
    const char* what;
    std::function<void(HWND)> hide, show;
  } unseen[] = {
      {"minimised", [](HWND w) { ShowWindow(w, SW_MINIMIZE); },
       [](HWND w) { ShowWindow(w, SW_RESTORE); }},
      {"hidden", [](HWND w) { ShowWindow(w, SW_HIDE); }, [](HWND w) { ShowWindow(w, SW_SHOW); }},
      {"under the secure desktop", [](HWND) { PortableShowSecureDesktop(true); },
       [](HWND) { PortableShowSecureDesktop(false); }},
  };
  for (DXGI_SWAP_EFFECT effect : {DXGI_SWAP_EFFECT_FLIP_DISCARD, DXGI_SWAP_EFFECT_DISCARD}) {
    bool flip = effect == DXGI_SWAP_EFFECT_FLIP_DISCARD;
    PortableResetDesktop();
    PortableFreezeClock();
    HWND window = ChainWindow();
    Pipeline pipeline(8, 6);
    IDXGISwapChain1* chain = MakeChain(pipeline.device, window, effect);
    ASSERT_NE(chain, nullptr);
    ID3D11Texture2D* buffer = nullptr;
    ASSERT_EQ(chain->GetBuffer(0, IID_ID3D11Texture2D, (void**)&buffer), S_OK);
    SafeRelease(pipeline.targetView);
    ASSERT_EQ(pipeline.device->CreateRenderTargetView(buffer, nullptr, &pipeline.targetView), S_OK);
    buffer->Release();
    auto shown = [&]() {
      std::vector<uint8_t> image;
      PortableReadPresented(chain, &image, nullptr, nullptr);
      return image;
    };
    for (const auto& u : unseen) {
      SCOPED_TRACE(testing::Message() << u.what << (flip ? ", flip model" : ", discard model"));
      pipeline.Draw(TitleConstants(8, 6, 0.3f));
      EXPECT_EQ(chain->Present(0, 0), S_OK);
      const std::vector<uint8_t> first = shown();
      pipeline.Draw(TitleConstants(8, 6, 1.3f));
      int presents = PortablePresentCount();
      LONGLONG before = Counter();
      u.hide(window);
      for (int i = 0; i < 3; ++i)
        EXPECT_EQ(chain->Present(1, 0), flip ? S_OK : DXGI_STATUS_OCCLUDED);
      EXPECT_EQ(chain->Present(0, DXGI_PRESENT_TEST), flip ? S_OK : DXGI_STATUS_OCCLUDED);
      EXPECT_EQ(PortablePresentCount() - presents, flip ? 3 : 0);
      EXPECT_EQ(Counter() > before, flip) << "only presents that show wait for the display";
      EXPECT_EQ(shown() != first, flip);
      u.show(window);
      EXPECT_EQ(chain->Present(0, DXGI_PRESENT_TEST), S_OK);
      EXPECT_EQ(chain->Present(0, 0), S_OK);
      EXPECT_NE(shown(), first);
    }
    chain->Release();
  }
  PortableResetDesktop();
}

// A frame leaves no sooner than its sync interval's refreshes of the window's monitor after
// the previous one, unless the driver forces vsync off; a frozen clock moves on by the wait.
TEST(Dxgi, PresentsWaitForTheRefreshesOfTheWindowsMonitor) {
  const struct {
    DWORD refresh;
    UINT interval;
    bool vsyncOff;
    double seconds;
  } cases[] = {{60, 1, false, 1 / 60.0},   {60, 2, false, 2 / 60.0}, {144, 1, false, 1 / 144.0},
               {144, 4, false, 4 / 144.0}, {0, 1, false, 1 / 60.0},  {144, 0, false, 0},
               {144, 3, true, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.refresh << " Hz, interval " << c.interval);
    PortableResetDesktop();
    PortableSetMonitors({{0, 0, 1920, 1080}, {1920, 0, 3840, 1080}}, {75, c.refresh});
    PortableForceVsyncOff(c.vsyncOff);
    PortableFreezeClock();
    HWND window = ChainWindow();
    SetWindowPos(window, nullptr, 2000, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Pipeline pipeline(8, 6);
    IDXGISwapChain1* chain = MakeChain(pipeline.device, window);
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(chain->Present(c.interval, 0), S_OK);
    LONGLONG before = Counter();
    EXPECT_EQ(chain->Present(c.interval, 0), S_OK);
    EXPECT_NEAR((double)(Counter() - before) / 1e9, c.seconds, 1e-8);
    chain->Release();
  }
  PortableResetFailures();
  PortableResetDesktop();
}

TEST(Device, ARemovedDeviceFailsItsWorkButStillReleases) {
  PortableResetDesktop();
  int live = PortableLiveObjectCount();
  for (HRESULT reason : {DXGI_ERROR_DEVICE_REMOVED, DXGI_ERROR_DEVICE_RESET}) {
    HRESULT presentFailure = reason == DXGI_ERROR_DEVICE_RESET ? reason : DXGI_ERROR_DEVICE_REMOVED;
    Pipeline pipeline(8, 6);
    IDXGISwapChain1* chain = MakeChain(pipeline.device, ChainWindow());
    ASSERT_NE(chain, nullptr);
    EXPECT_EQ(pipeline.device->GetDeviceRemovedReason(), S_OK);
    PortableRemoveDevice(pipeline.device, reason);
    EXPECT_EQ(pipeline.device->GetDeviceRemovedReason(), reason);

    D3D11_BUFFER_DESC bufferDesc = {160, D3D11_USAGE_DYNAMIC, D3D11_BIND_CONSTANT_BUFFER,
                                    D3D11_CPU_ACCESS_WRITE, 0, 0};
    ID3D11Buffer* buffer = (ID3D11Buffer*)&bufferDesc;
    EXPECT_EQ(pipeline.device->CreateBuffer(&bufferDesc, nullptr, &buffer), DXGI_ERROR_DEVICE_REMOVED);
    EXPECT_EQ(buffer, nullptr);
    D3D11_TEXTURE2D_DESC desc =
        TextureDesc(8, 6, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT, D3D11_BIND_RENDER_TARGET);
    ID3D11Texture2D* texture = nullptr;
    EXPECT_EQ(pipeline.device->CreateTexture2D(&desc, nullptr, &texture), DXGI_ERROR_DEVICE_REMOVED);
    ID3D11RenderTargetView* view = nullptr;
    EXPECT_EQ(pipeline.device->CreateRenderTargetView(pipeline.target, nullptr, &view),
              DXGI_ERROR_DEVICE_REMOVED);
    D3D11_SAMPLER_DESC sampler = {};
    sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
    sampler.AddressU = sampler.AddressV = sampler.AddressW = D3D11_TEXTURE_ADDRESS_WRAP;
    ID3D11SamplerState* state = nullptr;
    EXPECT_EQ(pipeline.device->CreateSamplerState(&sampler, &state), DXGI_ERROR_DEVICE_REMOVED);
    D3D11_MAPPED_SUBRESOURCE mapped;
    EXPECT_EQ(pipeline.context->Map(pipeline.constants, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped),
              DXGI_ERROR_DEVICE_REMOVED);

    // Drawing does nothing: the target keeps its transparent black.
    pipeline.context->OMSetRenderTargets(1, &pipeline.targetView, nullptr);
    D3D11_VIEWPORT viewport = {0, 0, 8, 6, 0, 1};
    pipeline.context->RSSetViewports(1, &viewport);
    pipeline.context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    pipeline.context->VSSetShader(pipeline.vertexShader, nullptr, 0);
    pipeline.context->PSSetShader(pipeline.pixelShader, nullptr, 0);
    pipeline.context->Draw(3, 0);
    const TexelBytes& pixels = static_cast<portable_d3d::Texture*>(pipeline.target)->pixels;
    EXPECT_EQ(OpaquePixels(std::vector<uint8_t>(pixels.begin(), pixels.end())), 0u);

    EXPECT_EQ(chain->Present(1, 0), presentFailure);
    EXPECT_EQ(chain->Present(0, DXGI_PRESENT_TEST), presentFailure);
    EXPECT_EQ(chain->ResizeBuffers(0, 16, 12, DXGI_FORMAT_UNKNOWN, 0), presentFailure);
    EXPECT_EQ(MakeChain(pipeline.device, ChainWindow()), nullptr);
    chain->Release();
  }
  EXPECT_EQ(PortableLiveObjectCount(), live) << "a removed device's objects leaked";

  // A device made afterwards works.
  Pipeline again(4, 4);
  again.Draw(TitleConstants(4, 4, 0.3f));
  EXPECT_EQ(OpaquePixels(again.Read()), 16u);
}

}  // namespace
