// The immediate context of the software device: bindings, Map, CopyResource and Draw.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <tuple>

#include "kernels/background_kernel_vector.h"
#include "d3d11/objects.h"
#include "d3d11/rasterizer.h"
#include "d3d11/workers.h"
#include "constant_buffer.h"
#include "kernels/background_kernel.h"
#include "kernels/background_vector_plan.h"
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

// A triangle is shaded in blocks of kBlockRows spans by kBlockWidth columns, a few blocks a
// task.
constexpr size_t kBlockRows = 64;
constexpr uint32_t kBlockWidth = 128;
constexpr size_t kBlocksPerTask = 4;

// The blocks that cover the spans, in the order of the kernel's BackgroundBlockKey: the
// wall's fine layer repeats every few hundred pixels across the screen and reads a texture
// larger than a core's cache, so that blocks which read the same part of it, shaded one
// after the other, find its texels still in the cache.
void SplitIntoBlocks(const BackgroundFrame& frame, const std::vector<RasterSpan>& spans,
                     std::vector<ShadingBlock>* blocks) {
  blocks->clear();
  for (size_t first = 0; first < spans.size(); first += kBlockRows) {
    const size_t end = std::min(first + kBlockRows, spans.size());
    uint32_t x0 = spans[first].x0, x1 = spans[first].x1;
    for (size_t i = first; i < end; ++i) {
      x0 = std::min(x0, spans[i].x0);
      x1 = std::max(x1, spans[i].x1);
    }
    const float centreY = 0.5f * (float)(spans[first].y + spans[end - 1].y + 1);
    for (uint32_t x = x0; x < x1; x += kBlockWidth) {
      const float centreX = (float)x + 0.5f * (float)std::min(kBlockWidth, x1 - x);
      blocks->push_back({BackgroundBlockKey(frame, centreX, centreY), x, first});
    }
  }
  // Equal keys in the order of the rows (any order gives the same pixels).
  std::sort(blocks->begin(), blocks->end(), [](const ShadingBlock& a, const ShadingBlock& b) {
    return std::tie(a.key, a.firstSpan, a.x) < std::tie(b.key, b.firstSpan, b.x);
  });
}

SampledTexture BindTexture(ShaderResourceView* view, SamplerState* sampler) {
  if (!view) return SampledTexture{};
  SampledTexture texture = view->Target()->Sampled();
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

  // Triangles one after the other, as Direct3D orders them; the blocks of one triangle are
  // shared among the worker threads, in the order the kernel asks for (each row has one
  // span, so no pixel is written twice). The vector kernel gives the same bytes as the
  // scalar one wherever it applies.
  struct Shading {
    const BackgroundFrame* frame;
    const std::vector<RasterSpan>* spans;
    const std::vector<ShadingBlock>* blocks;
    uint8_t* pixels;
    UINT width;
    BackgroundSpanShader shade;
  } shading = {&frame, &spans_, &blocks_, target->pixels.data(), width,
               CanShadeBackgroundVector(frame) ? ChooseBackgroundSpanVector(frame) : ShadeBackgroundSpan};
  auto shadeBlocks = [](void* context, int task) {
    const Shading& s = *(const Shading*)context;
    const size_t first = (size_t)task * kBlocksPerTask;
    const size_t last = std::min(first + kBlocksPerTask, s.blocks->size());
    for (size_t b = first; b < last; ++b) {
      const ShadingBlock& block = (*s.blocks)[b];
      const size_t end = std::min(block.firstSpan + kBlockRows, s.spans->size());
      for (size_t i = block.firstSpan; i < end; ++i) {
        const RasterSpan& span = (*s.spans)[i];
        const uint32_t x0 = std::max(span.x0, block.x);
        const uint32_t x1 = std::min(span.x1, block.x + kBlockWidth);
        if (x0 < x1)
          s.shade(*s.frame, span.y, x0, x1, s.pixels + ((size_t)span.y * s.width + x0) * 4);
      }
    }
  };
  for (UINT i = 0; i + 3 <= vertexCount; i += 3) {
    float clip[3][4];
    for (UINT v = 0; v < 3; ++v) FullscreenVertexPosition(startVertexLocation + i + v, clip[v]);
    spans_.clear();
    RasterizeTriangle(clip, viewport_, width, height, cull, frontCounterClockwise, &spans_);
    SplitIntoBlocks(frame, spans_, &blocks_);
    int tasks = (int)((blocks_.size() + kBlocksPerTask - 1) / kBlocksPerTask);
    RunTasks(tasks, shadeBlocks, &shading);
  }
}

}  // namespace portable_d3d
