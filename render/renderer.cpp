// The Direct3D 11 renderer: creates the device, shaders, textures, samplers and constant
// buffer once, the swap chain for each main window, and draws one frame per call.
#include "render/renderer.h"

#include <cstring>

#include "app/app_state.h"
#include "app/resources.h"
#include "i18n/texts.h"
#include "render/frame_constants.h"

namespace {

// The program's own RCDATA resource: its bytes and size, or null when it is missing.
const void* LockProgramResource(int id, DWORD* size) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (!found) return nullptr;
  HGLOBAL loaded = LoadResource(nullptr, found);
  if (!loaded) return nullptr;
  *size = SizeofResource(nullptr, found);
  return LockResource(loaded);
}

// The shaders travel as HLSL source and are compiled at start.
HRESULT CompileShader(int resourceId, const char* entryPoint, const char* target, ID3DBlob** code) {
  DWORD size = 0;
  const void* source = LockProgramResource(resourceId, &size);
  if (!source) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NOT_FOUND);
  ID3DBlob* errors = nullptr;
  HRESULT result = D3DCompile(source, size, nullptr, nullptr, nullptr, entryPoint, target,
                              D3DCOMPILE_OPTIMIZATION_LEVEL3, 0, code, &errors);
  ReleaseObject(errors);
  return result;
}

HRESULT CreateShaders() {
  ID3DBlob* code = nullptr;
  HRESULT result = CompileShader(ResourceVertexShader, "VSMain", "vs_5_0", &code);
  if (SUCCEEDED(result)) {
    gApp.device->CreateVertexShader(code->GetBufferPointer(), code->GetBufferSize(), nullptr,
                                    &gApp.vertexShader);
    ReleaseObject(code);
    result = CompileShader(ResourcePixelShader, "PSMain", "ps_5_0", &code);
  }
  if (SUCCEEDED(result)) {
    result = gApp.device->CreatePixelShader(code->GetBufferPointer(), code->GetBufferSize(),
                                            nullptr, &gApp.pixelShader);
    ReleaseObject(code);
  }
  return result;
}

UINT BlockBytes(DXGI_FORMAT format) { return format == DXGI_FORMAT_BC1_UNORM ? 8 : 16; }

void CreateSamplers() {
  D3D11_SAMPLER_DESC desc = {};
  desc.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
  desc.AddressU = desc.AddressV = desc.AddressW = D3D11_TEXTURE_ADDRESS_WRAP;
  desc.MipLODBias = 0.0f;
  desc.MaxAnisotropy = 0;
  desc.ComparisonFunc = D3D11_COMPARISON_NEVER;
  desc.MinLOD = 0.0f;
  desc.MaxLOD = 0.0f;
  gApp.device->CreateSamplerState(&desc, &gApp.wallSampler);
  desc.AddressU = desc.AddressV = desc.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;
  gApp.device->CreateSamplerState(&desc, &gApp.spotSampler);
}

void SetRasterizerState() {
  D3D11_RASTERIZER_DESC desc = {};
  desc.FillMode = D3D11_FILL_SOLID;
  desc.CullMode = D3D11_CULL_NONE;  // the full-screen triangle's winding does not matter
  desc.FrontCounterClockwise = FALSE;
  desc.DepthClipEnable = TRUE;
  ID3D11RasterizerState* state = nullptr;
  if (SUCCEEDED(gApp.device->CreateRasterizerState(&desc, &state))) gApp.context->RSSetState(state);
  ReleaseObject(state);
}

HRESULT UploadTexture(int resourceId, UINT edge, DXGI_FORMAT format, UINT rowPitch,
                      ID3D11ShaderResourceView** view) {
  DWORD size = 0;
  const void* payload = LockProgramResource(resourceId, &size);
  // The device reads (edge / 4) rows of blocks at rowPitch: a shorter payload is refused
  // rather than read past its end.
  const uint64_t rows = edge / 4;
  const uint64_t needed = rows == 0 ? 0 : (rows - 1) * rowPitch + rows * BlockBytes(format);
  if (!payload) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NOT_FOUND);
  if (size < needed) return E_INVALIDARG;

  D3D11_TEXTURE2D_DESC desc = {};
  desc.Width = edge;
  desc.Height = edge;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = format;
  desc.SampleDesc = {1, 0};
  desc.Usage = D3D11_USAGE_IMMUTABLE;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  D3D11_SUBRESOURCE_DATA initial = {payload, rowPitch, 0};
  ID3D11Texture2D* texture = nullptr;
  HRESULT result = gApp.device->CreateTexture2D(&desc, &initial, &texture);
  if (FAILED(result)) return result;
  ReleaseObject(*view);
  gApp.device->CreateShaderResourceView(texture, nullptr, view);
  ReleaseObject(texture);
  return S_OK;
}

HRESULT MakeSwapChain() {
  IDXGIDevice* dxgiDevice = nullptr;
  IDXGIAdapter* adapter = nullptr;
  IDXGIFactory2* factory = nullptr;
  HRESULT result = gApp.device->QueryInterface(IID_IDXGIDevice, (void**)&dxgiDevice);
  if (SUCCEEDED(result)) result = dxgiDevice->GetAdapter(&adapter);
  if (SUCCEEDED(result)) result = adapter->GetParent(IID_IDXGIFactory2, (void**)&factory);

  if (SUCCEEDED(result)) {
    DXGI_SWAP_CHAIN_DESC1 desc = {};
    desc.Width = (UINT)gApp.renderWidth;
    desc.Height = (UINT)gApp.renderHeight;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.Stereo = FALSE;
    desc.SampleDesc = {1, 0};
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 2;
    desc.Scaling = DXGI_SCALING_STRETCH;
    desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_DISCARD;
    desc.AlphaMode = DXGI_ALPHA_MODE_IGNORE;
    desc.Flags = 0;
    ReleaseObject(gApp.swapChain);
    result = factory->CreateSwapChainForHwnd(gApp.device, gApp.mainWindow, &desc, nullptr, nullptr,
                                             &gApp.swapChain);
    if (FAILED(result)) {
      // Systems without the flip model take the older discard model with one buffer.
      desc.BufferCount = 1;
      desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
      result = factory->CreateSwapChainForHwnd(gApp.device, gApp.mainWindow, &desc, nullptr,
                                               nullptr, &gApp.swapChain);
    }
  }
  if (SUCCEEDED(result)) {
    factory->MakeWindowAssociation(gApp.mainWindow,
                                   DXGI_MWA_NO_WINDOW_CHANGES | DXGI_MWA_NO_ALT_ENTER);
    ID3D11Texture2D* buffer = nullptr;
    ReleaseObject(gApp.renderTargetView);
    if (SUCCEEDED(gApp.swapChain->GetBuffer(0, IID_ID3D11Texture2D, (void**)&buffer)))
      gApp.device->CreateRenderTargetView(buffer, nullptr, &gApp.renderTargetView);
    ReleaseObject(buffer);
    // A new chain shows nothing yet.
    gApp.pictureCurrent = false;
  }
  ReleaseObject(factory);
  ReleaseObject(adapter);
  ReleaseObject(dxgiDevice);
  return result;
}

HRESULT CreateRendererObjects(bool offscreen, TextId* failed) {
  ReleaseRenderer();

  const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1,
                                      D3D_FEATURE_LEVEL_10_0};
  HRESULT result = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, levels, 3,
                                     D3D11_SDK_VERSION, &gApp.device, nullptr, &gApp.context);
  if (FAILED(result)) {
    // Without a usable hardware device the software rasterizer draws the same picture.
    ReleaseObject(gApp.context);
    ReleaseObject(gApp.device);
    result = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, 0, levels, 3,
                               D3D11_SDK_VERSION, &gApp.device, nullptr, &gApp.context);
  }
  if (FAILED(result)) {
    ReleaseObject(gApp.context);
    ReleaseObject(gApp.device);
    *failed = ErrDevice;
    return result;
  }

  if (!offscreen && FAILED(result = MakeSwapChain())) {
    *failed = ErrSwapChain;
    return result;
  }
  if (FAILED(result = CreateShaders())) {
    *failed = ErrShaders;
    return result;
  }

  D3D11_BUFFER_DESC bufferDesc = {};
  bufferDesc.ByteWidth = sizeof(FrameConstants);
  bufferDesc.Usage = D3D11_USAGE_DYNAMIC;
  bufferDesc.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
  bufferDesc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
  gApp.device->CreateBuffer(&bufferDesc, nullptr, &gApp.constantBuffer);

  *failed = ErrTextures;
  if (FAILED(result = UploadTexture(ResourceWallTexture, 2048, DXGI_FORMAT_BC3_UNORM, 8192,
                                    &gApp.wallView)) ||
      FAILED(result = UploadTexture(ResourceSpotTexture, 512, DXGI_FORMAT_BC1_UNORM, 1024,
                                    &gApp.spotView)))
    return result;

  SetRasterizerState();
  CreateSamplers();
  return S_OK;
}

}  // namespace

bool StartRenderer(bool offscreen) {
  TextId failed = ErrDevice;
  HRESULT result = CreateRendererObjects(offscreen, &failed);
  if (FAILED(result)) ShowErrorBox(GetText(failed), (uint32_t)result);
  return SUCCEEDED(result);
}

bool RestartRenderer() {
  // The window may have changed size while there was no swap chain to resize.
  RECT client = {0, 0, 0, 0};
  GetClientRect(gApp.mainWindow, &client);
  if (client.right > 0 && client.bottom > 0) {
    gApp.renderWidth = client.right;
    gApp.renderHeight = client.bottom;
  }
  TextId failed = ErrDevice;
  if (SUCCEEDED(CreateRendererObjects(false, &failed))) return true;
  ReleaseRenderer();
  return false;
}

void ReleaseSwapChain() {
  if (gApp.context) {
    gApp.context->OMSetRenderTargets(0, nullptr, nullptr);
    gApp.context->Flush();
  }
  ReleaseObject(gApp.renderTargetView);
  ReleaseObject(gApp.swapChain);
}

void ReleaseRenderer() {
  if (gApp.context) gApp.context->OMSetRenderTargets(0, nullptr, nullptr);
  ReleaseObject(gApp.spotSampler);
  ReleaseObject(gApp.wallSampler);
  ReleaseObject(gApp.spotView);
  ReleaseObject(gApp.wallView);
  ReleaseObject(gApp.constantBuffer);
  ReleaseObject(gApp.pixelShader);
  ReleaseObject(gApp.vertexShader);
  ReleaseObject(gApp.renderTargetView);
  ReleaseObject(gApp.swapChain);
  ReleaseObject(gApp.context);
  ReleaseObject(gApp.device);
}

bool LoadTexture(int resourceId, UINT edge, DXGI_FORMAT format, UINT rowPitch,
                 ID3D11ShaderResourceView** view) {
  HRESULT result = UploadTexture(resourceId, edge, format, rowPitch, view);
  if (FAILED(result)) ShowErrorBox(GetText(ErrTextures), (uint32_t)result);
  return SUCCEEDED(result);
}

bool CreateSwapChain() {
  HRESULT result = MakeSwapChain();
  if (FAILED(result)) ShowErrorBox(GetText(ErrSwapChain), (uint32_t)result);
  return SUCCEEDED(result);
}

bool DrawFrame(ID3D11RenderTargetView* target, uint32_t width, uint32_t height,
               const AnimValues& values) {
  FrameConstants constants = BuildFrameConstants(width, height, gApp.scene, gApp.tone, values);
  D3D11_MAPPED_SUBRESOURCE mapped = {};
  if (FAILED(gApp.context->Map(gApp.constantBuffer, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped)))
    return false;
  std::memcpy(mapped.pData, &constants, sizeof(constants));
  gApp.context->Unmap(gApp.constantBuffer, 0);

  D3D11_VIEWPORT viewport = {0.0f, 0.0f, (float)width, (float)height, 0.0f, 1.0f};
  gApp.context->RSSetViewports(1, &viewport);
  gApp.context->OMSetRenderTargets(1, &target, nullptr);
  gApp.context->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
  gApp.context->IASetInputLayout(nullptr);
  gApp.context->VSSetShader(gApp.vertexShader, nullptr, 0);
  gApp.context->PSSetShader(gApp.pixelShader, nullptr, 0);
  gApp.context->PSSetConstantBuffers(0, 1, &gApp.constantBuffer);
  ID3D11ShaderResourceView* views[2] = {gApp.wallView, gApp.spotView};
  gApp.context->PSSetShaderResources(0, 2, views);
  ID3D11SamplerState* samplers[2] = {gApp.wallSampler, gApp.spotSampler};
  gApp.context->PSSetSamplers(0, 2, samplers);
  gApp.context->Draw(3, 0);
  return true;
}
