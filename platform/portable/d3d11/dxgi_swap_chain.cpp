// DXGI for the software device: its adapter, the factory, and swap chains whose presented
// image stays readable for tests and for the portable desktop.
#include <chrono>
#include <new>
#include <thread>
#include <vector>

#include "d3d11/objects.h"
#include "win32/user32.h"

namespace portable_d3d {
namespace {

std::atomic<int> gPresentCount{0};

class Factory final : public Counted<IDXGIFactory2> {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return AnswerQuery(this, riid, object,
                       {&IID_IUnknown, &IID_IDXGIObject, &IID_IDXGIFactory, &IID_IDXGIFactory1,
                        &IID_IDXGIFactory2});
  }
  HRESULT GetParent(REFIID, void** parent) override {
    if (parent) *parent = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT MakeWindowAssociation(HWND, UINT flags) override {
    const UINT known = DXGI_MWA_NO_WINDOW_CHANGES | DXGI_MWA_NO_ALT_ENTER | (1 << 2);
    return (flags & ~known) ? DXGI_ERROR_INVALID_CALL : S_OK;
  }
  HRESULT CreateSwapChainForHwnd(IUnknown* device, HWND window, const DXGI_SWAP_CHAIN_DESC1* desc,
                                 const DXGI_SWAP_CHAIN_FULLSCREEN_DESC* fullscreenDesc,
                                 IDXGIOutput* restrictToOutput,
                                 IDXGISwapChain1** swapChain) override;
};

class Adapter final : public Counted<IDXGIAdapter> {
 public:
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return AnswerQuery(this, riid, object, {&IID_IUnknown, &IID_IDXGIObject, &IID_IDXGIAdapter});
  }
  HRESULT GetParent(REFIID riid, void** parent) override {
    Factory* factory = new Factory;
    HRESULT hr = factory->QueryInterface(riid, parent);
    factory->Release();
    return hr;
  }
};

HRESULT CheckBufferSize(UINT width, UINT height) {
  if (width == 0 || height == 0) return DXGI_ERROR_INVALID_CALL;  // no window size to take
  if (width > D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION || height > D3D11_REQ_TEXTURE2D_U_OR_V_DIMENSION)
    return E_INVALIDARG;
  return S_OK;
}

class SwapChain final : public Counted<IDXGISwapChain1> {
 public:
  SwapChain(Device* device, HWND window, const DXGI_SWAP_CHAIN_DESC1& desc)
      : device_(device), window_(window), desc_(desc) {
    device_->AddRef();
    buffer_ = NewBuffer(desc.Width, desc.Height);
  }
  ~SwapChain() override {
    if (buffer_) buffer_->Release();
    device_->Release();
  }
  bool HasBuffer() const { return buffer_ != nullptr; }
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return AnswerQuery(this, riid, object, {&IID_IUnknown, &IID_IDXGIObject});
  }
  HRESULT GetParent(REFIID riid, void** parent) override {
    Factory* factory = new Factory;
    HRESULT hr = factory->QueryInterface(riid, parent);
    factory->Release();
    return hr;
  }
  HRESULT GetDesc1(DXGI_SWAP_CHAIN_DESC1* desc) override {
    if (!desc) return E_INVALIDARG;
    *desc = desc_;
    return S_OK;
  }
  HRESULT GetBuffer(UINT index, REFIID riid, void** surface) override {
    if (!surface) return E_INVALIDARG;
    *surface = nullptr;
    if (index != 0) return DXGI_ERROR_INVALID_CALL;
    return buffer_->QueryInterface(riid, surface);
  }

  // A minimised or hidden window shows nothing: Present returns DXGI_STATUS_OCCLUDED at
  // once, without waiting for the display. A test present only reports that status.
  HRESULT Present(UINT syncInterval, UINT flags) override {
    if (syncInterval > 4) return DXGI_ERROR_INVALID_CALL;
    if (device_->Removed()) return device_->PresentFailure();
    bool occluded = !IsWindowVisible(window_) || (GetWindowLongPtrW(window_, GWL_STYLE) & WS_MINIMIZE);
    if (occluded) return DXGI_STATUS_OCCLUDED;
    if (flags & DXGI_PRESENT_TEST) return S_OK;
    presented_.assign(buffer_->pixels.begin(), buffer_->pixels.end());
    presentedWidth_ = desc_.Width;
    presentedHeight_ = desc_.Height;
    ++gPresentCount;
    // A virtual 60 Hz display: the next frame leaves no sooner than syncInterval refreshes
    // after the previous one.
    if (syncInterval > 0 && hasPresented_) {
      auto due = lastPresent_ + std::chrono::microseconds(16667 * syncInterval);
      std::this_thread::sleep_until(due);
    }
    hasPresented_ = true;
    lastPresent_ = std::chrono::steady_clock::now();
    return S_OK;
  }

  HRESULT ResizeBuffers(UINT bufferCount, UINT width, UINT height, DXGI_FORMAT format,
                        UINT flags) override {
    if (bufferCount > 16 || flags != 0 ||
        (format != DXGI_FORMAT_UNKNOWN && format != DXGI_FORMAT_R8G8B8A8_UNORM))
      return DXGI_ERROR_INVALID_CALL;
    if (device_->Removed()) return device_->PresentFailure();
    HRESULT hr = CheckBufferSize(width, height);
    if (FAILED(hr)) return hr;
    // As with DXGI, the buffers may be replaced only when nothing outside the chain holds
    // them; a binding in the context does not count.
    device_->ImmediateContext().UnbindTarget(buffer_);
    if (buffer_->References() != 1) return DXGI_ERROR_INVALID_CALL;
    if (TakeInjectedFailure(PortableD3DFailure::ResizeBuffers)) return E_FAIL;
    Texture* resized = NewBuffer(width, height);
    if (!resized) return E_OUTOFMEMORY;
    buffer_->Release();
    buffer_ = resized;
    desc_.Width = width;
    desc_.Height = height;
    if (bufferCount) desc_.BufferCount = bufferCount;
    return S_OK;
  }

  bool ReadPresented(std::vector<uint8_t>* rgba, UINT* width, UINT* height) const {
    if (!hasPresented_) return false;
    if (rgba) *rgba = presented_;
    if (width) *width = presentedWidth_;
    if (height) *height = presentedHeight_;
    return true;
  }

 private:
  Texture* NewBuffer(UINT width, UINT height) {
    D3D11_TEXTURE2D_DESC desc = {};
    desc.Width = width;
    desc.Height = height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_RENDER_TARGET;
    Texture* texture = new Texture(device_, desc);
    try {
      texture->pixels.assign((size_t)width * height * 4, 0);
    } catch (const std::bad_alloc&) {
      texture->Release();
      return nullptr;
    }
    return texture;
  }

  Device* device_;
  HWND window_;
  DXGI_SWAP_CHAIN_DESC1 desc_;
  Texture* buffer_;
  std::vector<uint8_t> presented_;
  UINT presentedWidth_ = 0, presentedHeight_ = 0;
  bool hasPresented_ = false;
  std::chrono::steady_clock::time_point lastPresent_;
};

HRESULT Factory::CreateSwapChainForHwnd(IUnknown* device, HWND window,
                                        const DXGI_SWAP_CHAIN_DESC1* desc,
                                        const DXGI_SWAP_CHAIN_FULLSCREEN_DESC* fullscreenDesc,
                                        IDXGIOutput* restrictToOutput,
                                        IDXGISwapChain1** swapChain) {
  if (swapChain) *swapChain = nullptr;
  Device* owner = DeviceFromUnknown(device);
  if (!owner || !IsWindow(window) || !desc || !swapChain) return DXGI_ERROR_INVALID_CALL;
  if (owner->Removed()) return DXGI_ERROR_DEVICE_REMOVED;
  // Windowed chains only, on the one output there is.
  if (fullscreenDesc || restrictToOutput || desc->Stereo) return DXGI_ERROR_UNSUPPORTED;
  if (desc->Format != DXGI_FORMAT_R8G8B8A8_UNORM) return DXGI_ERROR_UNSUPPORTED;
  if (desc->SampleDesc.Count != 1 || desc->SampleDesc.Quality != 0) return DXGI_ERROR_INVALID_CALL;
  bool flip = desc->SwapEffect == DXGI_SWAP_EFFECT_FLIP_DISCARD ||
              desc->SwapEffect == DXGI_SWAP_EFFECT_FLIP_SEQUENTIAL;
  bool blit = desc->SwapEffect == DXGI_SWAP_EFFECT_DISCARD ||
              desc->SwapEffect == DXGI_SWAP_EFFECT_SEQUENTIAL;
  if (!flip && !blit) return DXGI_ERROR_INVALID_CALL;
  if (desc->BufferCount > 16 || desc->BufferCount < (flip ? 2u : 1u)) return DXGI_ERROR_INVALID_CALL;
  HRESULT hr = CheckBufferSize(desc->Width, desc->Height);
  if (FAILED(hr)) return hr;
  if (TakeInjectedFailure(PortableD3DFailure::SwapChain)) return E_FAIL;
  SwapChain* created = new SwapChain(owner, window, *desc);
  if (!created->HasBuffer()) {
    created->Release();
    return E_OUTOFMEMORY;
  }
  *swapChain = created;
  return S_OK;
}

}  // namespace

HRESULT CreateAdapter(IDXGIAdapter** adapter) {
  *adapter = new Adapter;
  return S_OK;
}

}  // namespace portable_d3d

bool PortableReadPresented(IDXGISwapChain1* chain, std::vector<uint8_t>* rgba, UINT* w, UINT* h) {
  auto* swapChain = dynamic_cast<portable_d3d::SwapChain*>(chain);
  return swapChain && swapChain->ReadPresented(rgba, w, h);
}

int PortablePresentCount() { return portable_d3d::gPresentCount; }
