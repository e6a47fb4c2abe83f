// DXGI for the software device: its adapter, the factory, and swap chains whose presented
// image stays readable for tests and for the portable desktop.
#include <new>
#include <vector>

#include "control/desktop_control.h"
#include "d3d11/objects.h"
#include "win32/clock.h"
#include "win32/user32.h"

namespace portable_d3d {
namespace {

std::atomic<int> gPresentCount{0};
std::atomic<bool> gVsyncForcedOff{false};
std::atomic<bool> gFlipModelRefused{false};

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

  // Only a discard-model (bitblt) chain learns that its window shows nothing (minimised,
  // hidden, or under the secure desktop): Present returns DXGI_STATUS_OCCLUDED at once,
  // without waiting for the display, and so does a test present. A flip-model chain never
  // reports occlusion, as DXGI documents: its frames go to the compositor as usual.
  HRESULT Present(UINT syncInterval, UINT flags) override {
    if (syncInterval > 4) return DXGI_ERROR_INVALID_CALL;
    if (device_->Removed()) return device_->PresentFailure();
    bool unseen = !IsWindowVisible(window_) ||
                  (GetWindowLongPtrW(window_, GWL_STYLE) & WS_MINIMIZE) ||
                  PortableSecureDesktopShown();
    if (unseen && !Flip()) return DXGI_STATUS_OCCLUDED;
    if (flags & DXGI_PRESENT_TEST) return S_OK;
    presented_.assign(buffer_->pixels.begin(), buffer_->pixels.end());
    presentedWidth_ = desc_.Width;
    presentedHeight_ = desc_.Height;
    lastSyncInterval_ = syncInterval;
    ++gPresentCount;
    // The display of the window's monitor: the next frame leaves no sooner than
    // syncInterval refreshes after the previous one, unless the driver forces vsync off.
    if (syncInterval > 0 && hasPresented_ && !gVsyncForcedOff)
      PortableWaitUntilCounter(lastPresent_ + syncInterval * kPortableCounterPerSecond /
                                                  PortableRefreshRateOf(window_));
    hasPresented_ = true;
    lastPresent_ = PortableCounterNow();
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

  bool Flip() const {
    return desc_.SwapEffect == DXGI_SWAP_EFFECT_FLIP_DISCARD ||
           desc_.SwapEffect == DXGI_SWAP_EFFECT_FLIP_SEQUENTIAL;
  }
  UINT LastSyncInterval() const { return lastSyncInterval_; }

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
  UINT lastSyncInterval_ = 0;
  bool hasPresented_ = false;
  LONGLONG lastPresent_ = 0;  // performance counter
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
  if ((!flip && !blit) || (flip && gFlipModelRefused)) return DXGI_ERROR_INVALID_CALL;
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

UINT PortableLastSyncInterval(IDXGISwapChain1* chain) {
  auto* swapChain = dynamic_cast<portable_d3d::SwapChain*>(chain);
  return swapChain ? swapChain->LastSyncInterval() : 0;
}

void PortableForceVsyncOff(bool off) { portable_d3d::gVsyncForcedOff = off; }
void PortableRefuseFlipModel(bool refuse) { portable_d3d::gFlipModelRefused = refuse; }
