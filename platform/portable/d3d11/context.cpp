// The immediate context of the software device: bindings, Map, CopyResource and Draw.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "kernels/background_kernel_vector.h"
#include "d3d11/objects.h"
#include "d3d11/rasterizer.h"
#include "d3d11/workers.h"
#include "constant_buffer.h"
#include "kernels/background_kernel.h"
#include "kernels/fullscreen_kernel.h"

namespace {

std::atomic<int> gDrawCount{0};

}  // namespace

int PortableDrawCount() { return gDrawCount; }

namespace portable_d3d {

void Context::PSSetShaderResources(UINT startSlot, UINT numViews,
                                   ID3D11ShaderResourceView* const* views) {
  for (UINT i = 0; i < numViews; ++i)
    if (startSlot + i < 2)
      resources_[startSlot + i].Set(views ? static_cast<ShaderResourceView*>(views[i]) : nullptr);
}

void Context::PSSetSamplers(UINT startSlot, UINT numSamplers, ID3D11SamplerState* const* samplers) {
  for (UINT i = 0; i < numSamplers; ++i)
    if (startSlot + i < 2)
      samplers_[startSlot + i].Set(samplers ? static_cast<SamplerState*>(samplers[i]) : nullptr);
}

void Context::PSSetConstantBuffers(UINT startSlot, UINT numBuffers, ID3D11Buffer* const* buffers) {
  for (UINT i = 0; i < numBuffers; ++i)
    if (startSlot + i == 0) constants_.Set(buffers ? static_cast<Buffer*>(buffers[i]) : nullptr);
}

void Context::PSSetShader(ID3D11PixelShader* shader, ID3D11ClassInstance* const*, UINT) {
  pixelShader_.Set(static_cast<PixelShader*>(shader));
}

void Context::VSSetShader(ID3D11VertexShader* shader, ID3D11ClassInstance* const*, UINT) {
  vertexShader_.Set(static_cast<VertexShader*>(shader));
}

void Context::OMSetRenderTargets(UINT numViews, ID3D11RenderTargetView* const* views,
                                 ID3D11DepthStencilView*) {
  target_.Set(numViews > 0 && views ? static_cast<RenderTargetView*>(views[0]) : nullptr);
}

void Context::RSSetState(ID3D11RasterizerState* state) {
  rasterizer_.Set(static_cast<RasterizerState*>(state));
}

void Context::RSSetViewports(UINT numViewports, const D3D11_VIEWPORT* viewports) {
  hasViewport_ = numViewports > 0 && viewports;
  if (hasViewport_) viewport_ = viewports[0];
}

void Context::ClearState() {
  pixelShader_.Set(nullptr);
  vertexShader_.Set(nullptr);
  for (auto& resource : resources_) resource.Set(nullptr);
  for (auto& sampler : samplers_) sampler.Set(nullptr);
  constants_.Set(nullptr);
  target_.Set(nullptr);
  rasterizer_.Set(nullptr);
  topology_ = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
  hasViewport_ = false;
}

void Context::UnbindTarget(Texture* texture) {
  if (target_.Get() && target_.Get()->Target() == texture) target_.Set(nullptr);
}

HRESULT Context::Map(ID3D11Resource* resource, UINT subresource, D3D11_MAP mapType, UINT,
                     D3D11_MAPPED_SUBRESOURCE* mapped) {
  if (mapped) *mapped = {};
  if (device_->Removed()) return DXGI_ERROR_DEVICE_REMOVED;
  if (!resource || !mapped || subresource != 0) return E_INVALIDARG;
  if (Buffer* buffer = dynamic_cast<Buffer*>(resource)) {
    bool writable = buffer->Desc().Usage == D3D11_USAGE_DYNAMIC &&
                    (mapType == D3D11_MAP_WRITE_DISCARD || mapType == D3D11_MAP_WRITE_NO_OVERWRITE);
    if (!writable || buffer->mapped) return E_INVALIDARG;
    if (TakeInjectedFailure(PortableD3DFailure::Map)) return E_FAIL;
    buffer->mapped = true;
    mapped->pData = buffer->bytes.data();
    mapped->RowPitch = mapped->DepthPitch = buffer->Desc().ByteWidth;
    return S_OK;
  }
  Texture* texture = dynamic_cast<Texture*>(resource);
  if (!texture || texture->Desc().Usage != D3D11_USAGE_STAGING || texture->mapped) return E_INVALIDARG;
  UINT access = texture->Desc().CPUAccessFlags;
  bool reads = mapType == D3D11_MAP_READ || mapType == D3D11_MAP_READ_WRITE;
  bool writes = mapType != D3D11_MAP_READ;
  if (mapType == D3D11_MAP_WRITE_DISCARD || mapType == D3D11_MAP_WRITE_NO_OVERWRITE ||
      (reads && !(access & D3D11_CPU_ACCESS_READ)) || (writes && !(access & D3D11_CPU_ACCESS_WRITE)))
    return E_INVALIDARG;
  if (TakeInjectedFailure(PortableD3DFailure::Map)) return E_FAIL;
  texture->mapped = true;
  mapped->pData = texture->pixels.data();
  mapped->RowPitch = texture->Desc().Width * 4;
  mapped->DepthPitch = mapped->RowPitch * texture->Desc().Height;
  return S_OK;
}

void Context::Unmap(ID3D11Resource* resource, UINT subresource) {
  if (subresource != 0) return;
  if (Buffer* buffer = dynamic_cast<Buffer*>(resource)) buffer->mapped = false;
  if (Texture* texture = dynamic_cast<Texture*>(resource)) texture->mapped = false;
}

void Context::CopyResource(ID3D11Resource* destination, ID3D11Resource* source) {
  Texture* to = dynamic_cast<Texture*>(destination);
  Texture* from = dynamic_cast<Texture*>(source);
  // As in Direct3D, a copy between resources that do not match does nothing, and nor does
  // any copy on a removed device.
  if (!to || !from || to == from || device_->Removed()) return;
  const D3D11_TEXTURE2D_DESC &a = to->Desc(), &b = from->Desc();
  if (a.Width != b.Width || a.Height != b.Height || a.Format != b.Format ||
      a.Usage == D3D11_USAGE_IMMUTABLE || to->pixels.size() != from->pixels.size() ||
      from->pixels.empty())
    return;
  std::memcpy(to->pixels.data(), from->pixels.data(), from->pixels.size());
}

namespace {

constexpr size_t kRowsPerTask = 8;

SampledTexture BindTexture(ShaderResourceView* view, SamplerState* sampler) {
  SampledTexture texture;
  if (!view) return texture;
  const Texture* source = view->Target();
  texture.tiles = source->tiles.data();
  texture.width = (int32_t)source->Desc().Width;
  texture.height = (int32_t)source->Desc().Height;
  texture.tilesPerRow = (texture.width + 3) / 4;
  if (!source->grey.empty()) texture.grey = source->grey.data();
  // Without a sampler, Direct3D's default state: linear filtering, clamp addressing.
  if (sampler) {
    auto mode = [](D3D11_TEXTURE_ADDRESS_MODE m) {
      return m == D3D11_TEXTURE_ADDRESS_WRAP ? TextureAddress::Wrap : TextureAddress::Clamp;
    };
    texture.addressU = mode(sampler->desc.AddressU);
    texture.addressV = mode(sampler->desc.AddressV);
  }
  return texture;
}

}  // namespace

void Context::Draw(UINT vertexCount, UINT startVertexLocation) {
  RenderTargetView* view = target_.Get();
  if (device_->Removed() || !view || !vertexShader_.Get() || !pixelShader_.Get() || !hasViewport_ ||
      topology_ != D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST)
    return;
  Texture* target = view->Target();
  const UINT width = target->Desc().Width, height = target->Desc().Height;
  ++gDrawCount;

  // Reads past the end of a bound constant buffer, or of none, give zeros.
  FrameConstants constants = {};
  if (Buffer* buffer = constants_.Get())
    std::memcpy(&constants, buffer->bytes.data(), std::min(sizeof constants, buffer->bytes.size()));
  BackgroundFrame frame;
  PrepareBackgroundFrame(constants, BindTexture(resources_[0].Get(), samplers_[0].Get()),
                         BindTexture(resources_[1].Get(), samplers_[1].Get()), &frame);

  // Direct3D's default rasterizer state culls back faces, clockwise being front.
  D3D11_CULL_MODE cull = D3D11_CULL_BACK;
  bool frontCounterClockwise = false;
  if (RasterizerState* state = rasterizer_.Get()) {
    cull = state->desc.CullMode;
    frontCounterClockwise = state->desc.FrontCounterClockwise != FALSE;
  }

  // Triangles one after the other, as Direct3D orders them; the rows of one triangle are
  // shared among the worker threads (each row has one span, so no pixel is written twice).
  // The vector kernel gives the same bytes as the scalar one wherever it applies.
  struct Shading {
    const BackgroundFrame* frame;
    const std::vector<RasterSpan>* spans;
    uint8_t* pixels;
    UINT width;
    BackgroundSpanShader shade;
  } shading = {&frame, &spans_, target->pixels.data(), width,
               CanShadeBackgroundVector(frame) ? ChooseBackgroundSpanVector(frame) : ShadeBackgroundSpan};
  auto shadeRows = [](void* context, int task) {
    const Shading& s = *(const Shading*)context;
    size_t first = (size_t)task * kRowsPerTask;
    size_t last = std::min(first + kRowsPerTask, s.spans->size());
    for (size_t i = first; i < last; ++i) {
      const RasterSpan& span = (*s.spans)[i];
      s.shade(*s.frame, span.y, span.x0, span.x1, s.pixels + ((size_t)span.y * s.width + span.x0) * 4);
    }
  };
  for (UINT i = 0; i + 3 <= vertexCount; i += 3) {
    float clip[3][4];
    for (UINT v = 0; v < 3; ++v) FullscreenVertexPosition(startVertexLocation + i + v, clip[v]);
    spans_.clear();
    RasterizeTriangle(clip, viewport_, width, height, cull, frontCounterClockwise, &spans_);
    int tasks = (int)((spans_.size() + kRowsPerTask - 1) / kRowsPerTask);
    RunTasks(tasks, shadeRows, &shading);
  }
}

}  // namespace portable_d3d
