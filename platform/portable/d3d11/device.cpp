// The software Direct3D 11 device: creation, resources, views, shaders and states.
#include <cstring>
#include <new>

#include "d3d11/objects.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ID3D11Device = {0xdb6f6ddb, 0xac77, 0x4e88,
                              {0x82, 0x53, 0x81, 0x9d, 0xf9, 0xbb, 0xf1, 0x40}};
const IID IID_ID3D11Resource = {0xdc8e63f3, 0xd12b, 0x4952,
                                {0xb4, 0x7b, 0x5e, 0x45, 0x02, 0x6a, 0x86, 0x2d}};
const IID IID_ID3D11Texture2D = {0x6f15aaf2, 0xd208, 0x4e89,
                                 {0x9a, 0xb4, 0x48, 0x95, 0x35, 0xd3, 0x4f, 0x9c}};
const IID IID_IDXGIObject = {0xaec22fb8, 0x76f3, 0x4639,
                             {0x9b, 0xe0, 0x28, 0xeb, 0x43, 0xa6, 0x7a, 0x2e}};
const IID IID_IDXGIDevice = {0x54ec77fa, 0x1377, 0x44e6,
                             {0x8c, 0x32, 0x88, 0xfd, 0x5f, 0x44, 0xc8, 0x4c}};
const IID IID_IDXGIAdapter = {0x2411e7e1, 0x12ac, 0x4ccf,
                              {0xbd, 0x14, 0x97, 0x98, 0xe8, 0x53, 0x4d, 0xc0}};
const IID IID_IDXGIFactory = {0x7b7166ec, 0x21c7, 0x44ae,
                              {0xb2, 0x1a, 0xc9, 0xae, 0x32, 0x1a, 0xe3, 0x69}};
const IID IID_IDXGIFactory1 = {0x770aae78, 0xf26f, 0x4dba,
                               {0xa8, 0x29, 0x25, 0x3c, 0x83, 0xd1, 0xb3, 0x87}};
const IID IID_IDXGIFactory2 = {0x50c83a1c, 0xe072, 0x4c48,
                               {0x87, 0xb0, 0x36, 0x30, 0xfa, 0x36, 0xa6, 0xd0}};

namespace portable_d3d {

HRESULT AnswerQuery(IUnknown* self, REFIID riid, void** object,
                    std::initializer_list<const IID*> implemented) {
  if (!object) return E_POINTER;
  for (const IID* iid : implemented)
    if (riid == *iid) {
      self->AddRef();
      *object = self;
      return S_OK;
    }
  *object = nullptr;
  return E_NOINTERFACE;
}

Texture::Texture(Device* device, const D3D11_TEXTURE2D_DESC& desc) : Child(device), desc_(desc) {}

SampledTexture Texture::Sampled() const {
  SampledTexture sampled;
  sampled.width = (int32_t)desc_.Width;
  sampled.height = (int32_t)desc_.Height;
  sampled.tilesPerRow = (sampled.width + 3) / 4;
  if (!texels) return sampled;
  sampled.tiles = texels->tiles.data();
  if (!texels->grey.empty()) sampled.grey = texels->grey.data();
  return sampled;
}

HRESULT Texture::QueryInterface(REFIID riid, void** object) {
  return AnswerQuery(this, riid, object, {&IID_IUnknown, &IID_ID3D11Resource, &IID_ID3D11Texture2D});
}

Buffer::Buffer(Device* device, const D3D11_BUFFER_DESC& desc) : Child(device), desc_(desc) {}

ULONG Context::AddRef() { return device_->AddRef(); }
ULONG Context::Release() { return device_->Release(); }
void Context::GetDevice(ID3D11Device** device) {
  device_->AddRef();
  *device = device_;
}
HRESULT Context::QueryInterface(REFIID riid, void** object) {
  return AnswerQuery(this, riid, object, {&IID_IUnknown});
}

Device::Device(D3D_FEATURE_LEVEL featureLevel) : context_(this), featureLevel_(featureLevel) {}
Device::~Device() = default;

HRESULT Device::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_ID3D11Device) {
    AddRef();
    *object = static_cast<ID3D11Device*>(this);
    return S_OK;
  }
  if (riid == IID_IDXGIObject || riid == IID_IDXGIDevice) {
    AddRef();
    *object = static_cast<IDXGIDevice*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

void Device::LastReleased() {
  // Bindings may hold the last references of children; they go first. Only then may the
  // device's own storage go, once no child refers to it.
  context_.ClearState();
  released_ = true;
  if (children_ == 0 && References() == 0) delete this;
}

void Device::RemoveChild() {
  if (--children_ == 0 && released_ && References() == 0) delete this;
}

void Device::GetImmediateContext(ID3D11DeviceContext** context) {
  AddRef();
  *context = &context_;
}

HRESULT Device::GetParent(REFIID riid, void** parent) {
  IDXGIAdapter* adapter = nullptr;
  HRESULT hr = GetAdapter(&adapter);
  if (FAILED(hr)) return hr;
  hr = adapter->QueryInterface(riid, parent);
  adapter->Release();
  return hr;
}

HRESULT Device::GetAdapter(IDXGIAdapter** adapter) {
  if (!adapter) return E_INVALIDARG;
  return CreateAdapter(adapter);
}

Device* DeviceFromUnknown(IUnknown* unknown) {
  if (!unknown) return nullptr;
  ID3D11Device* device = nullptr;
  if (FAILED(unknown->QueryInterface(IID_ID3D11Device, (void**)&device))) return nullptr;
  device->Release();
  return dynamic_cast<Device*>(device);
}

namespace {

bool ValidDimension(UINT size) { return size > 0 && size <= D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION; }

// What this device supports of Direct3D's texture descriptions; E_INVALIDARG for what
// Direct3D itself refuses, E_NOTIMPL for valid combinations the program never needs.
HRESULT CheckTextureDesc(const D3D11_TEXTURE2D_DESC& d, const D3D11_SUBRESOURCE_DATA* data) {
  if (!ValidDimension(d.Width) || !ValidDimension(d.Height)) return E_INVALIDARG;
  if (d.ArraySize != 1 || d.SampleDesc.Count != 1 || d.SampleDesc.Quality != 0 || d.MipLevels == 0)
    return E_INVALIDARG;
  if (d.MipLevels != 1 || d.MiscFlags != 0) return E_NOTIMPL;
  const UINT known = D3D11_BIND_SHADER_RESOURCE | D3D11_BIND_RENDER_TARGET;
  if (d.BindFlags & ~known) return E_INVALIDARG;
  if (d.Usage == D3D11_USAGE_IMMUTABLE &&
      (!data || !data->pSysMem || d.CPUAccessFlags != 0 || d.BindFlags != D3D11_BIND_SHADER_RESOURCE))
    return E_INVALIDARG;
  if (d.Usage == D3D11_USAGE_STAGING && (d.BindFlags != 0 || d.CPUAccessFlags == 0))
    return E_INVALIDARG;
  if (d.Usage == D3D11_USAGE_DEFAULT && d.CPUAccessFlags != 0) return E_INVALIDARG;
  if (d.Usage == D3D11_USAGE_DYNAMIC) return E_NOTIMPL;
  if (data && !data->pSysMem) return E_INVALIDARG;

  switch (d.Format) {
    case DXGI_FORMAT_BC1_UNORM:
    case DXGI_FORMAT_BC3_UNORM: {
      if (d.Width % 4 != 0 || d.Height % 4 != 0) return E_INVALIDARG;
      if (d.BindFlags & D3D11_BIND_RENDER_TARGET) return E_INVALIDARG;
      if (d.Usage != D3D11_USAGE_IMMUTABLE) return E_NOTIMPL;
      UINT rowBytes = d.Width / 4 * (d.Format == DXGI_FORMAT_BC1_UNORM ? 8 : 16);
      // Rows of blocks that overlap cannot be what the caller meant.
      if (data->SysMemPitch < rowBytes) return E_INVALIDARG;
      return S_OK;
    }
    case DXGI_FORMAT_R8G8B8A8_UNORM:
      if (d.Usage == D3D11_USAGE_DEFAULT && (d.BindFlags & D3D11_BIND_SHADER_RESOURCE))
        return E_NOTIMPL;  // only immutable textures are sampled here
      if (data && data->SysMemPitch < d.Width * 4) return E_INVALIDARG;
      return S_OK;
    default:
      return E_NOTIMPL;
  }
}

}  // namespace

HRESULT Device::CreateTexture2D(const D3D11_TEXTURE2D_DESC* desc,
                                const D3D11_SUBRESOURCE_DATA* initialData,
                                ID3D11Texture2D** texture) {
  if (texture) *texture = nullptr;
  if (Removed()) return DXGI_ERROR_DEVICE_REMOVED;
  if (!desc) return E_INVALIDARG;
  HRESULT hr = CheckTextureDesc(*desc, initialData);
  if (FAILED(hr)) return hr;
  if (!texture) return S_FALSE;
  if (TakeInjectedFailure(PortableD3DFailure::Texture)) return E_FAIL;
  Texture* created = nullptr;
  try {
    created = new Texture(this, *desc);
    // Only immutable textures, made from their initial data, are sampled here.
    if (desc->BindFlags & D3D11_BIND_SHADER_RESOURCE) {
      created->texels = DecodeTexels(*desc, *initialData);
    } else {
      created->pixels.assign((size_t)desc->Width * desc->Height * 4, 0);
      if (initialData)
        for (UINT y = 0; y < desc->Height; ++y)
          std::memcpy(created->pixels.data() + (size_t)y * desc->Width * 4,
                      (const uint8_t*)initialData->pSysMem + (size_t)y * initialData->SysMemPitch,
                      (size_t)desc->Width * 4);
    }
  } catch (const std::bad_alloc&) {
    if (created) created->Release();
    return E_OUTOFMEMORY;
  }
  *texture = created;
  return S_OK;
}

HRESULT Device::CreateBuffer(const D3D11_BUFFER_DESC* desc,
                             const D3D11_SUBRESOURCE_DATA* initialData, ID3D11Buffer** buffer) {
  if (buffer) *buffer = nullptr;
  if (Removed()) return DXGI_ERROR_DEVICE_REMOVED;
  if (!desc || desc->ByteWidth == 0) return E_INVALIDARG;
  if (desc->BindFlags & D3D11_BIND_CONSTANT_BUFFER) {
    // Direct3D's rule for constant buffers: whole registers, at most 4096 of them.
    if (desc->ByteWidth % 16 != 0 || desc->ByteWidth > 65536) return E_INVALIDARG;
  }
  if (desc->Usage == D3D11_USAGE_DYNAMIC && !(desc->CPUAccessFlags & D3D11_CPU_ACCESS_WRITE))
    return E_INVALIDARG;
  if (desc->Usage == D3D11_USAGE_IMMUTABLE && (!initialData || !initialData->pSysMem))
    return E_INVALIDARG;
  if (!buffer) return S_FALSE;
  Buffer* created = nullptr;
  try {
    created = new Buffer(this, *desc);
    created->bytes.assign(desc->ByteWidth, 0);
  } catch (const std::bad_alloc&) {
    if (created) created->Release();
    return E_OUTOFMEMORY;
  }
  if (initialData && initialData->pSysMem)
    std::memcpy(created->bytes.data(), initialData->pSysMem, desc->ByteWidth);
  *buffer = created;
  return S_OK;
}

namespace {

// A view of a whole texture: no description, and the texture bound for the view's use.
template <class View, class Interface>
HRESULT CreateTextureView(Device* device, bool removed, ID3D11Resource* resource,
                          const void* desc, UINT bindFlag, Interface** view) {
  if (view) *view = nullptr;
  if (removed) return DXGI_ERROR_DEVICE_REMOVED;
  Texture* texture = dynamic_cast<Texture*>(resource);
  if (!texture || desc || !(texture->Desc().BindFlags & bindFlag)) return E_INVALIDARG;
  if (!view) return S_FALSE;
  *view = new View(device, texture);
  return S_OK;
}

}  // namespace

HRESULT Device::CreateShaderResourceView(ID3D11Resource* resource,
                                         const D3D11_SHADER_RESOURCE_VIEW_DESC* desc,
                                         ID3D11ShaderResourceView** view) {
  return CreateTextureView<ShaderResourceView>(this, Removed(), resource, desc,
                                               D3D11_BIND_SHADER_RESOURCE, view);
}

HRESULT Device::CreateRenderTargetView(ID3D11Resource* resource,
                                       const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                                       ID3D11RenderTargetView** view) {
  return CreateTextureView<RenderTargetView>(this, Removed(), resource, desc,
                                             D3D11_BIND_RENDER_TARGET, view);
}

HRESULT Device::CreateVertexShader(const void* bytecode, SIZE_T length, ID3D11ClassLinkage*,
                                   ID3D11VertexShader** shader) {
  if (shader) *shader = nullptr;
  if (Removed()) return DXGI_ERROR_DEVICE_REMOVED;
  ShaderKernel kernel;
  if (!ReadShaderBytecode(bytecode, length, &kernel) || kernel != ShaderKernel::Fullscreen)
    return E_INVALIDARG;
  if (!shader) return S_FALSE;
  *shader = new VertexShader(this);
  return S_OK;
}

HRESULT Device::CreatePixelShader(const void* bytecode, SIZE_T length, ID3D11ClassLinkage*,
                                  ID3D11PixelShader** shader) {
  if (shader) *shader = nullptr;
  if (Removed()) return DXGI_ERROR_DEVICE_REMOVED;
  ShaderKernel kernel;
  if (!ReadShaderBytecode(bytecode, length, &kernel) || kernel != ShaderKernel::Background)
    return E_INVALIDARG;
  // Pixel shader model 5.0 needs feature level 11_0.
  if (featureLevel_ < D3D_FEATURE_LEVEL_11_0) return E_INVALIDARG;
  if (!shader) return S_FALSE;
  if (TakeInjectedFailure(PortableD3DFailure::PixelShader)) return E_FAIL;
  *shader = new PixelShader(this);
  return S_OK;
}

HRESULT Device::CreateSamplerState(const D3D11_SAMPLER_DESC* desc, ID3D11SamplerState** state) {
  if (state) *state = nullptr;
  if (Removed()) return DXGI_ERROR_DEVICE_REMOVED;
  if (!desc) return E_INVALIDARG;
  auto supported = [](D3D11_TEXTURE_ADDRESS_MODE mode) {
    return mode == D3D11_TEXTURE_ADDRESS_WRAP || mode == D3D11_TEXTURE_ADDRESS_CLAMP;
  };
  if (desc->MaxLOD < desc->MinLOD) return E_INVALIDARG;
  if (desc->Filter != D3D11_FILTER_MIN_MAG_MIP_LINEAR || !supported(desc->AddressU) ||
      !supported(desc->AddressV))
    return E_NOTIMPL;
  if (!state) return S_FALSE;
  *state = new SamplerState(this, *desc);
  return S_OK;
}

HRESULT Device::CreateRasterizerState(const D3D11_RASTERIZER_DESC* desc,
                                      ID3D11RasterizerState** state) {
  if (state) *state = nullptr;
  if (Removed()) return DXGI_ERROR_DEVICE_REMOVED;
  if (!desc || desc->CullMode < D3D11_CULL_NONE || desc->CullMode > D3D11_CULL_BACK ||
      (desc->FillMode != D3D11_FILL_SOLID && desc->FillMode != D3D11_FILL_WIREFRAME))
    return E_INVALIDARG;
  if (desc->FillMode != D3D11_FILL_SOLID) return E_NOTIMPL;
  if (!state) return S_FALSE;
  *state = new RasterizerState(this, *desc);
  return S_OK;
}

}  // namespace portable_d3d

using namespace portable_d3d;

HRESULT D3D11CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driverType, HMODULE software,
                          UINT, const D3D_FEATURE_LEVEL* featureLevels, UINT numLevels,
                          UINT sdkVersion, ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel,
                          ID3D11DeviceContext** context) {
  if (device) *device = nullptr;
  if (context) *context = nullptr;
  if (sdkVersion != D3D11_SDK_VERSION) return E_INVALIDARG;
  if (adapter && driverType != D3D_DRIVER_TYPE_UNKNOWN) return E_INVALIDARG;
  if (!adapter && driverType == D3D_DRIVER_TYPE_UNKNOWN) return E_INVALIDARG;
  if (driverType == D3D_DRIVER_TYPE_SOFTWARE && !software) return E_INVALIDARG;
  // There is no hardware here: only the software rasterizer, reached as WARP or through
  // its adapter.
  if (driverType != D3D_DRIVER_TYPE_WARP && driverType != D3D_DRIVER_TYPE_UNKNOWN)
    return DXGI_ERROR_UNSUPPORTED;

  static const D3D_FEATURE_LEVEL kDefaultLevels[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1,
                                                     D3D_FEATURE_LEVEL_10_0};
  if (!featureLevels || numLevels == 0) {
    featureLevels = kDefaultLevels;
    numLevels = 3;
  }
  // The first requested level this device offers; a list of only unknown levels is invalid.
  D3D_FEATURE_LEVEL chosen = (D3D_FEATURE_LEVEL)0;
  for (UINT i = 0; i < numLevels && chosen == 0; ++i)
    if (featureLevels[i] == D3D_FEATURE_LEVEL_11_0 || featureLevels[i] == D3D_FEATURE_LEVEL_10_1 ||
        featureLevels[i] == D3D_FEATURE_LEVEL_10_0)
      chosen = featureLevels[i];
  if (chosen == 0) return E_INVALIDARG;

  if (featureLevel) *featureLevel = chosen;
  if (!device && !context) return S_FALSE;
  if (TakeInjectedFailure(PortableD3DFailure::Device)) return E_FAIL;
  Device* created = new Device(chosen);
  if (context) created->GetImmediateContext(context);
  if (device)
    *device = created;
  else
    created->Release();
  return S_OK;
}
