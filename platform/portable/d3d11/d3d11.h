// Portable Direct3D 11, DXGI 1.2 and the shader compiler: the interfaces, structures and
// values the renderer uses, with the Windows SDK's names, signatures and numbers. The
// implementation is a software device (platform/portable/d3d11/): immutable BC1/BC3
// textures decoded once, R8G8B8A8_UNORM render targets and staging copies, bilinear
// samplers at level 0, a dynamic constant buffer, a triangle rasterizer with the top-left
// rule, and the program's two shaders as C++ kernels. The hardware driver type is refused;
// the WARP driver type gets the software device.
#pragma once

#include "layer_only.h"

#include "win32/win32_types.h"

// ---- COM ----------------------------------------------------------------------------------

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

extern const IID IID_IUnknown;
extern const IID IID_ID3D11Device;
extern const IID IID_ID3D11Resource;
extern const IID IID_ID3D11Texture2D;
extern const IID IID_IDXGIObject;
extern const IID IID_IDXGIDevice;
extern const IID IID_IDXGIAdapter;
extern const IID IID_IDXGIFactory;
extern const IID IID_IDXGIFactory1;
extern const IID IID_IDXGIFactory2;

// ---- Values -------------------------------------------------------------------------------

enum DXGI_FORMAT {
  DXGI_FORMAT_UNKNOWN = 0,
  DXGI_FORMAT_R8G8B8A8_UNORM = 28,
  DXGI_FORMAT_BC1_UNORM = 71,
  DXGI_FORMAT_BC3_UNORM = 77,
  DXGI_FORMAT_B8G8R8A8_UNORM = 87,
};

enum D3D_DRIVER_TYPE {
  D3D_DRIVER_TYPE_UNKNOWN = 0,
  D3D_DRIVER_TYPE_HARDWARE = 1,
  D3D_DRIVER_TYPE_REFERENCE = 2,
  D3D_DRIVER_TYPE_NULL = 3,
  D3D_DRIVER_TYPE_SOFTWARE = 4,
  D3D_DRIVER_TYPE_WARP = 5,
};

enum D3D_FEATURE_LEVEL {
  D3D_FEATURE_LEVEL_10_0 = 0xa000,
  D3D_FEATURE_LEVEL_10_1 = 0xa100,
  D3D_FEATURE_LEVEL_11_0 = 0xb000,
};

#define D3D11_SDK_VERSION 7
#define D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION 16384

enum D3D11_USAGE {
  D3D11_USAGE_DEFAULT = 0,
  D3D11_USAGE_IMMUTABLE = 1,
  D3D11_USAGE_DYNAMIC = 2,
  D3D11_USAGE_STAGING = 3,
};

enum D3D11_BIND_FLAG {
  D3D11_BIND_VERTEX_BUFFER = 0x1,
  D3D11_BIND_INDEX_BUFFER = 0x2,
  D3D11_BIND_CONSTANT_BUFFER = 0x4,
  D3D11_BIND_SHADER_RESOURCE = 0x8,
  D3D11_BIND_RENDER_TARGET = 0x20,
};

enum D3D11_CPU_ACCESS_FLAG {
  D3D11_CPU_ACCESS_WRITE = 0x10000,
  D3D11_CPU_ACCESS_READ = 0x20000,
};

enum D3D11_MAP {
  D3D11_MAP_READ = 1,
  D3D11_MAP_WRITE = 2,
  D3D11_MAP_READ_WRITE = 3,
  D3D11_MAP_WRITE_DISCARD = 4,
  D3D11_MAP_WRITE_NO_OVERWRITE = 5,
};

enum D3D11_PRIMITIVE_TOPOLOGY {
  D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED = 0,
  D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST = 4,
};

enum D3D11_FILL_MODE { D3D11_FILL_WIREFRAME = 2, D3D11_FILL_SOLID = 3 };
enum D3D11_CULL_MODE { D3D11_CULL_NONE = 1, D3D11_CULL_FRONT = 2, D3D11_CULL_BACK = 3 };

enum D3D11_FILTER {
  D3D11_FILTER_MIN_MAG_MIP_POINT = 0,
  D3D11_FILTER_MIN_MAG_MIP_LINEAR = 0x15,
};

enum D3D11_TEXTURE_ADDRESS_MODE {
  D3D11_TEXTURE_ADDRESS_WRAP = 1,
  D3D11_TEXTURE_ADDRESS_MIRROR = 2,
  D3D11_TEXTURE_ADDRESS_CLAMP = 3,
  D3D11_TEXTURE_ADDRESS_BORDER = 4,
};

enum D3D11_COMPARISON_FUNC {
  D3D11_COMPARISON_NEVER = 1,
  D3D11_COMPARISON_ALWAYS = 8,
};

#define DXGI_USAGE_RENDER_TARGET_OUTPUT 0x00000020UL
#define DXGI_MWA_NO_WINDOW_CHANGES (1 << 0)
#define DXGI_MWA_NO_ALT_ENTER (1 << 1)

enum DXGI_SCALING { DXGI_SCALING_STRETCH = 0, DXGI_SCALING_NONE = 1 };
enum DXGI_SWAP_EFFECT {
  DXGI_SWAP_EFFECT_DISCARD = 0,
  DXGI_SWAP_EFFECT_SEQUENTIAL = 1,
  DXGI_SWAP_EFFECT_FLIP_SEQUENTIAL = 3,
  DXGI_SWAP_EFFECT_FLIP_DISCARD = 4,
};
enum DXGI_ALPHA_MODE {
  DXGI_ALPHA_MODE_UNSPECIFIED = 0,
  DXGI_ALPHA_MODE_PREMULTIPLIED = 1,
  DXGI_ALPHA_MODE_STRAIGHT = 2,
  DXGI_ALPHA_MODE_IGNORE = 3,
};

#define DXGI_ERROR_INVALID_CALL ((HRESULT)0x887A0001L)
#define DXGI_ERROR_NOT_FOUND ((HRESULT)0x887A0002L)
#define DXGI_ERROR_UNSUPPORTED ((HRESULT)0x887A0004L)
#define DXGI_ERROR_DEVICE_REMOVED ((HRESULT)0x887A0005L)
#define DXGI_ERROR_DEVICE_HUNG ((HRESULT)0x887A0006L)
#define DXGI_ERROR_DEVICE_RESET ((HRESULT)0x887A0007L)
#define DXGI_STATUS_OCCLUDED ((HRESULT)0x087A0001L)

#define DXGI_PRESENT_TEST 0x00000001UL

// ---- Structures ---------------------------------------------------------------------------

struct DXGI_SAMPLE_DESC {
  UINT Count;
  UINT Quality;
};

struct D3D11_TEXTURE2D_DESC {
  UINT Width;
  UINT Height;
  UINT MipLevels;
  UINT ArraySize;
  DXGI_FORMAT Format;
  DXGI_SAMPLE_DESC SampleDesc;
  D3D11_USAGE Usage;
  UINT BindFlags;
  UINT CPUAccessFlags;
  UINT MiscFlags;
};

struct D3D11_BUFFER_DESC {
  UINT ByteWidth;
  D3D11_USAGE Usage;
  UINT BindFlags;
  UINT CPUAccessFlags;
  UINT MiscFlags;
  UINT StructureByteStride;
};

struct D3D11_SUBRESOURCE_DATA {
  const void* pSysMem;
  UINT SysMemPitch;
  UINT SysMemSlicePitch;
};

struct D3D11_MAPPED_SUBRESOURCE {
  void* pData;
  UINT RowPitch;
  UINT DepthPitch;
};

struct D3D11_VIEWPORT {
  float TopLeftX;
  float TopLeftY;
  float Width;
  float Height;
  float MinDepth;
  float MaxDepth;
};

struct D3D11_RASTERIZER_DESC {
  D3D11_FILL_MODE FillMode;
  D3D11_CULL_MODE CullMode;
  BOOL FrontCounterClockwise;
  INT DepthBias;
  float DepthBiasClamp;
  float SlopeScaledDepthBias;
  BOOL DepthClipEnable;
  BOOL ScissorEnable;
  BOOL MultisampleEnable;
  BOOL AntialiasedLineEnable;
};

struct D3D11_SAMPLER_DESC {
  D3D11_FILTER Filter;
  D3D11_TEXTURE_ADDRESS_MODE AddressU;
  D3D11_TEXTURE_ADDRESS_MODE AddressV;
  D3D11_TEXTURE_ADDRESS_MODE AddressW;
  float MipLODBias;
  UINT MaxAnisotropy;
  D3D11_COMPARISON_FUNC ComparisonFunc;
  float BorderColor[4];
  float MinLOD;
  float MaxLOD;
};

struct DXGI_SWAP_CHAIN_DESC1 {
  UINT Width;
  UINT Height;
  DXGI_FORMAT Format;
  BOOL Stereo;
  DXGI_SAMPLE_DESC SampleDesc;
  UINT BufferUsage;
  UINT BufferCount;
  DXGI_SCALING Scaling;
  DXGI_SWAP_EFFECT SwapEffect;
  DXGI_ALPHA_MODE AlphaMode;
  UINT Flags;
};

struct DXGI_SWAP_CHAIN_FULLSCREEN_DESC;
struct D3D11_SHADER_RESOURCE_VIEW_DESC;
struct D3D11_RENDER_TARGET_VIEW_DESC;

// ---- Interfaces ---------------------------------------------------------------------------

struct ID3D11Device;

struct ID3D11DeviceChild : IUnknown {
  virtual void GetDevice(ID3D11Device** device) = 0;
};

struct ID3D11Resource : ID3D11DeviceChild {};
struct ID3D11Buffer : ID3D11Resource {
  virtual void GetDesc(D3D11_BUFFER_DESC* desc) = 0;
};
struct ID3D11Texture2D : ID3D11Resource {
  virtual void GetDesc(D3D11_TEXTURE2D_DESC* desc) = 0;
};

struct ID3D11View : ID3D11DeviceChild {
  virtual void GetResource(ID3D11Resource** resource) = 0;
};
struct ID3D11ShaderResourceView : ID3D11View {};
struct ID3D11RenderTargetView : ID3D11View {};
struct ID3D11DepthStencilView : ID3D11View {};

struct ID3D11VertexShader : ID3D11DeviceChild {};
struct ID3D11PixelShader : ID3D11DeviceChild {};
struct ID3D11InputLayout : ID3D11DeviceChild {};
struct ID3D11SamplerState : ID3D11DeviceChild {};
struct ID3D11RasterizerState : ID3D11DeviceChild {};
struct ID3D11ClassInstance : ID3D11DeviceChild {};
struct ID3D11ClassLinkage : ID3D11DeviceChild {};

struct ID3D11DeviceContext : ID3D11DeviceChild {
  virtual void PSSetShaderResources(UINT startSlot, UINT numViews,
                                    ID3D11ShaderResourceView* const* views) = 0;
  virtual void PSSetShader(ID3D11PixelShader* shader, ID3D11ClassInstance* const* instances,
                           UINT numInstances) = 0;
  virtual void PSSetSamplers(UINT startSlot, UINT numSamplers,
                             ID3D11SamplerState* const* samplers) = 0;
  virtual void VSSetShader(ID3D11VertexShader* shader, ID3D11ClassInstance* const* instances,
                           UINT numInstances) = 0;
  virtual void Draw(UINT vertexCount, UINT startVertexLocation) = 0;
  virtual HRESULT Map(ID3D11Resource* resource, UINT subresource, D3D11_MAP mapType,
                      UINT mapFlags, D3D11_MAPPED_SUBRESOURCE* mapped) = 0;
  virtual void Unmap(ID3D11Resource* resource, UINT subresource) = 0;
  virtual void PSSetConstantBuffers(UINT startSlot, UINT numBuffers,
                                    ID3D11Buffer* const* buffers) = 0;
  virtual void IASetInputLayout(ID3D11InputLayout* layout) = 0;
  virtual void IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY topology) = 0;
  virtual void OMSetRenderTargets(UINT numViews, ID3D11RenderTargetView* const* views,
                                  ID3D11DepthStencilView* depthStencilView) = 0;
  virtual void RSSetState(ID3D11RasterizerState* state) = 0;
  virtual void RSSetViewports(UINT numViewports, const D3D11_VIEWPORT* viewports) = 0;
  virtual void CopyResource(ID3D11Resource* destination, ID3D11Resource* source) = 0;
  virtual void Flush() = 0;
};

struct ID3D11Device : IUnknown {
  virtual HRESULT CreateBuffer(const D3D11_BUFFER_DESC* desc,
                               const D3D11_SUBRESOURCE_DATA* initialData,
                               ID3D11Buffer** buffer) = 0;
  virtual HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* desc,
                                  const D3D11_SUBRESOURCE_DATA* initialData,
                                  ID3D11Texture2D** texture) = 0;
  virtual HRESULT CreateShaderResourceView(ID3D11Resource* resource,
                                           const D3D11_SHADER_RESOURCE_VIEW_DESC* desc,
                                           ID3D11ShaderResourceView** view) = 0;
  virtual HRESULT CreateRenderTargetView(ID3D11Resource* resource,
                                         const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                                         ID3D11RenderTargetView** view) = 0;
  virtual HRESULT CreateVertexShader(const void* bytecode, SIZE_T length,
                                     ID3D11ClassLinkage* linkage,
                                     ID3D11VertexShader** shader) = 0;
  virtual HRESULT CreatePixelShader(const void* bytecode, SIZE_T length,
                                    ID3D11ClassLinkage* linkage, ID3D11PixelShader** shader) = 0;
  virtual HRESULT CreateSamplerState(const D3D11_SAMPLER_DESC* desc,
                                     ID3D11SamplerState** state) = 0;
  virtual HRESULT CreateRasterizerState(const D3D11_RASTERIZER_DESC* desc,
                                        ID3D11RasterizerState** state) = 0;
  virtual void GetImmediateContext(ID3D11DeviceContext** context) = 0;
  virtual HRESULT GetDeviceRemovedReason() = 0;
};

struct IDXGIObject : IUnknown {
  virtual HRESULT GetParent(REFIID riid, void** parent) = 0;
};
struct IDXGIAdapter : IDXGIObject {};
struct IDXGIOutput : IDXGIObject {};
struct IDXGIDevice : IDXGIObject {
  virtual HRESULT GetAdapter(IDXGIAdapter** adapter) = 0;
};
struct IDXGIDeviceSubObject : IDXGIObject {};

struct IDXGISwapChain : IDXGIDeviceSubObject {
  virtual HRESULT Present(UINT syncInterval, UINT flags) = 0;
  virtual HRESULT GetBuffer(UINT buffer, REFIID riid, void** surface) = 0;
  virtual HRESULT ResizeBuffers(UINT bufferCount, UINT width, UINT height, DXGI_FORMAT format,
                                UINT flags) = 0;
};
struct IDXGISwapChain1 : IDXGISwapChain {
  virtual HRESULT GetDesc1(DXGI_SWAP_CHAIN_DESC1* desc) = 0;
};

struct IDXGIFactory : IDXGIObject {
  virtual HRESULT MakeWindowAssociation(HWND window, UINT flags) = 0;
};
struct IDXGIFactory1 : IDXGIFactory {};
struct IDXGIFactory2 : IDXGIFactory1 {
  virtual HRESULT CreateSwapChainForHwnd(IUnknown* device, HWND window,
                                         const DXGI_SWAP_CHAIN_DESC1* desc,
                                         const DXGI_SWAP_CHAIN_FULLSCREEN_DESC* fullscreenDesc,
                                         IDXGIOutput* restrictToOutput,
                                         IDXGISwapChain1** swapChain) = 0;
};

HRESULT D3D11CreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driverType, HMODULE software,
                          UINT flags, const D3D_FEATURE_LEVEL* featureLevels, UINT numLevels,
                          UINT sdkVersion, ID3D11Device** device,
                          D3D_FEATURE_LEVEL* featureLevel, ID3D11DeviceContext** context);

// ---- Shader compiler ----------------------------------------------------------------------

struct ID3D10Blob : IUnknown {
  virtual LPVOID GetBufferPointer() = 0;
  virtual SIZE_T GetBufferSize() = 0;
};
typedef ID3D10Blob ID3DBlob;
struct D3D_SHADER_MACRO {
  LPCSTR Name;
  LPCSTR Definition;
};
struct ID3DInclude;

#define D3DCOMPILE_OPTIMIZATION_LEVEL3 (1 << 15)

// Accepts exactly the shader sources for which the software device has a kernel (matched
// by their content) and the entry point and target they were written for; fails with
// E_FAIL and an error blob otherwise.
HRESULT D3DCompile(LPCVOID sourceData, SIZE_T sourceSize, LPCSTR sourceName,
                   const D3D_SHADER_MACRO* defines, ID3DInclude* include, LPCSTR entryPoint,
                   LPCSTR target, UINT flags1, UINT flags2, ID3DBlob** code,
                   ID3DBlob** errorMessages);
