// The objects of the software Direct3D 11 device and of DXGI, shared by the files that
// implement them (d3d11_device.cpp, d3d11_context.cpp, dxgi_swap_chain.cpp, d3dcompile.cpp).
//
// Ownership follows COM: every object starts with one reference; views hold their
// resources; the immediate context holds what is bound to it; swap chains hold their
// device. Device children keep the device's storage alive through an internal count that
// is not visible as COM references, so a device whose last reference goes away clears its
// context's bindings (which may free children) and is freed when its last child goes.
#pragma once

#include "layer_only.h"

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "d3d11/d3d11.h"
#include "control/d3d11_control.h"
#include "d3d11/rasterizer.h"
#include "d3d11/large_pages.h"
#include "d3d11/texels.h"
#include "kernels/sampled_texture.h"

namespace portable_d3d {

// Every object counts in PortableLiveObjectCount while it exists.
class LiveObject {
 public:
  LiveObject();
  LiveObject(const LiveObject&) = delete;
  LiveObject& operator=(const LiveObject&) = delete;
  virtual ~LiveObject();
};

// A COM reference count on top of one interface.
template <class Interface>
class Counted : public Interface, public LiveObject {
 public:
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) LastReleased();
    return left;
  }
  ULONG References() const { return refs_; }

 protected:
  // Default: destroy. The device overrides it (its storage outlives its COM references
  // while children exist).
  virtual void LastReleased() { delete this; }

 private:
  std::atomic<ULONG> refs_{1};
};

// Answers QueryInterface for the IIDs an object implements.
HRESULT AnswerQuery(IUnknown* self, REFIID riid, void** object,
                    std::initializer_list<const IID*> implemented);

// Consumes one injected failure of that kind, if any is pending.
bool TakeInjectedFailure(PortableD3DFailure what);

class Device;

template <class Interface>
class Child : public Counted<Interface> {
 public:
  explicit Child(Device* device);
  ~Child() override;
  void GetDevice(ID3D11Device** device) override;
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return AnswerQuery(this, riid, object, {&IID_IUnknown});
  }
  Device* Owner() const { return device_; }

 private:
  Device* device_;
};

class Texture final : public Child<ID3D11Texture2D> {
 public:
  Texture(Device* device, const D3D11_TEXTURE2D_DESC& desc);
  HRESULT QueryInterface(REFIID riid, void** object) override;
  void GetDesc(D3D11_TEXTURE2D_DESC* desc) override { *desc = desc_; }

  const D3D11_TEXTURE2D_DESC& Desc() const { return desc_; }
  // R8G8B8A8 render targets and staging textures: rows of Width * 4 bytes.
  TexelBytes pixels;
  // Shader-resource textures: their texels as the kernels read them; null for the others.
  std::shared_ptr<const DecodedTexels> texels;
  // What the kernels sample, with clamp addressing (no tiles for a texture without texels).
  SampledTexture Sampled() const;
  bool mapped = false;

 private:
  D3D11_TEXTURE2D_DESC desc_;
};

class Buffer final : public Child<ID3D11Buffer> {
 public:
  Buffer(Device* device, const D3D11_BUFFER_DESC& desc);
  void GetDesc(D3D11_BUFFER_DESC* desc) override { *desc = desc_; }
  const D3D11_BUFFER_DESC& Desc() const { return desc_; }
  std::vector<uint8_t> bytes;
  bool mapped = false;

 private:
  D3D11_BUFFER_DESC desc_;
};

template <class Interface>
class View final : public Child<Interface> {
 public:
  View(Device* device, Texture* texture) : Child<Interface>(device), texture_(texture) {
    texture_->AddRef();
  }
  ~View() override { texture_->Release(); }
  void GetResource(ID3D11Resource** resource) override {
    texture_->AddRef();
    *resource = texture_;
  }
  Texture* Target() const { return texture_; }

 private:
  Texture* texture_;
};
using ShaderResourceView = View<ID3D11ShaderResourceView>;
using RenderTargetView = View<ID3D11RenderTargetView>;

enum class ShaderKernel : uint8_t { Background, Fullscreen };

class PixelShader final : public Child<ID3D11PixelShader> {
 public:
  using Child::Child;
};
class VertexShader final : public Child<ID3D11VertexShader> {
 public:
  using Child::Child;
};

class SamplerState final : public Child<ID3D11SamplerState> {
 public:
  SamplerState(Device* device, const D3D11_SAMPLER_DESC& desc) : Child(device), desc(desc) {}
  const D3D11_SAMPLER_DESC desc;
};

class RasterizerState final : public Child<ID3D11RasterizerState> {
 public:
  RasterizerState(Device* device, const D3D11_RASTERIZER_DESC& desc)
      : Child(device), desc(desc) {}
  const D3D11_RASTERIZER_DESC desc;
};

// A counted pointer for the context's bindings.
template <class T>
class Binding {
 public:
  Binding() = default;
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;
  ~Binding() { Set(nullptr); }
  void Set(T* object) {
    if (object) object->AddRef();
    if (object_) object_->Release();
    object_ = object;
  }
  T* Get() const { return object_; }

 private:
  T* object_ = nullptr;
};

class Context final : public ID3D11DeviceContext {
 public:
  explicit Context(Device* device) : device_(device) {}
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  void GetDevice(ID3D11Device** device) override;

  void PSSetShaderResources(UINT startSlot, UINT numViews,
                            ID3D11ShaderResourceView* const* views) override;
  void PSSetShader(ID3D11PixelShader* shader, ID3D11ClassInstance* const*, UINT) override;
  void PSSetSamplers(UINT startSlot, UINT numSamplers,
                     ID3D11SamplerState* const* samplers) override;
  void VSSetShader(ID3D11VertexShader* shader, ID3D11ClassInstance* const*, UINT) override;
  void Draw(UINT vertexCount, UINT startVertexLocation) override;
  HRESULT Map(ID3D11Resource* resource, UINT subresource, D3D11_MAP mapType, UINT mapFlags,
              D3D11_MAPPED_SUBRESOURCE* mapped) override;
  void Unmap(ID3D11Resource* resource, UINT subresource) override;
  void PSSetConstantBuffers(UINT startSlot, UINT numBuffers,
                            ID3D11Buffer* const* buffers) override;
  void IASetInputLayout(ID3D11InputLayout*) override {}
  void IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY topology) override {
    topology_ = topology;
  }
  void OMSetRenderTargets(UINT numViews, ID3D11RenderTargetView* const* views,
                          ID3D11DepthStencilView*) override;
  void RSSetState(ID3D11RasterizerState* state) override;
  void RSSetViewports(UINT numViewports, const D3D11_VIEWPORT* viewports) override;
  void CopyResource(ID3D11Resource* destination, ID3D11Resource* source) override;
  void Flush() override {}

  // Drops every binding (the device's last reference, or a swap chain resizing).
  void ClearState();
  // Drops the render-target binding if it is a view of the texture.
  void UnbindTarget(Texture* texture);

 private:
  Device* device_;
  Binding<PixelShader> pixelShader_;
  Binding<VertexShader> vertexShader_;
  Binding<ShaderResourceView> resources_[2];
  Binding<SamplerState> samplers_[2];
  Binding<Buffer> constants_;
  Binding<RenderTargetView> target_;
  Binding<RasterizerState> rasterizer_;
  D3D11_PRIMITIVE_TOPOLOGY topology_ = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
  D3D11_VIEWPORT viewport_ = {};
  bool hasViewport_ = false;
  std::vector<RasterSpan> spans_;  // kept between draws: no allocation per frame
  std::vector<ShadingBlock> blocks_;
};

class Device final : public Counted<ID3D11Device>, public IDXGIDevice {
 public:
  explicit Device(D3D_FEATURE_LEVEL featureLevel);
  ~Device() override;
  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return Counted<ID3D11Device>::AddRef(); }
  ULONG Release() override { return Counted<ID3D11Device>::Release(); }

  HRESULT CreateBuffer(const D3D11_BUFFER_DESC* desc, const D3D11_SUBRESOURCE_DATA* initialData,
                       ID3D11Buffer** buffer) override;
  HRESULT CreateTexture2D(const D3D11_TEXTURE2D_DESC* desc,
                          const D3D11_SUBRESOURCE_DATA* initialData,
                          ID3D11Texture2D** texture) override;
  HRESULT CreateShaderResourceView(ID3D11Resource* resource,
                                   const D3D11_SHADER_RESOURCE_VIEW_DESC* desc,
                                   ID3D11ShaderResourceView** view) override;
  HRESULT CreateRenderTargetView(ID3D11Resource* resource,
                                 const D3D11_RENDER_TARGET_VIEW_DESC* desc,
                                 ID3D11RenderTargetView** view) override;
  HRESULT CreateVertexShader(const void* bytecode, SIZE_T length, ID3D11ClassLinkage* linkage,
                             ID3D11VertexShader** shader) override;
  HRESULT CreatePixelShader(const void* bytecode, SIZE_T length, ID3D11ClassLinkage* linkage,
                            ID3D11PixelShader** shader) override;
  HRESULT CreateSamplerState(const D3D11_SAMPLER_DESC* desc,
                             ID3D11SamplerState** state) override;
  HRESULT CreateRasterizerState(const D3D11_RASTERIZER_DESC* desc,
                                ID3D11RasterizerState** state) override;
  void GetImmediateContext(ID3D11DeviceContext** context) override;
  HRESULT GetDeviceRemovedReason() override { return removedReason_; }

  HRESULT GetParent(REFIID riid, void** parent) override;
  HRESULT GetAdapter(IDXGIAdapter** adapter) override;

  Context& ImmediateContext() { return context_; }
  // A removed device keeps its objects but does no more work: creation fails with
  // DXGI_ERROR_DEVICE_REMOVED, presenting with the reason's code, drawing does nothing.
  void Remove(HRESULT reason) { removedReason_ = reason; }
  bool Removed() const { return FAILED(removedReason_.load()); }
  HRESULT PresentFailure() const {
    return removedReason_ == DXGI_ERROR_DEVICE_RESET ? DXGI_ERROR_DEVICE_RESET
                                                     : DXGI_ERROR_DEVICE_REMOVED;
  }
  void AddChild() { ++children_; }
  void RemoveChild();

 protected:
  void LastReleased() override;

 private:
  Context context_;
  D3D_FEATURE_LEVEL featureLevel_;
  std::atomic<int> children_{0};
  std::atomic<HRESULT> removedReason_{S_OK};
  bool released_ = false;
};

// The software device behind an IUnknown handed to DXGI, or null if it is not one.
Device* DeviceFromUnknown(IUnknown* unknown);

// Shader bytecode as D3DCompile produces it and CreatePixelShader/CreateVertexShader read.
bool ReadShaderBytecode(const void* bytecode, SIZE_T length, ShaderKernel* kernel);

// Adapter and factory of the software device (dxgi_swap_chain.cpp).
HRESULT CreateAdapter(IDXGIAdapter** adapter);

template <class Interface>
Child<Interface>::Child(Device* device) : device_(device) {
  device_->AddChild();
}
template <class Interface>
Child<Interface>::~Child() {
  device_->RemoveChild();
}
template <class Interface>
void Child<Interface>::GetDevice(ID3D11Device** device) {
  device_->AddRef();
  *device = device_;
}

}  // namespace portable_d3d
