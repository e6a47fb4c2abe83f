// Milliseconds per frame of the software Direct3D device, through the renderer's own
// StartRenderer and DrawFrame: Frame/<variant>/<width>x<height>/threads:<n>/<instruction set>,
// the threads being those that shade the draw, for every instruction set the vector kernel
// is built for and this processor runs; an instruction set with a gather instruction (AVX2,
// AVX-512) has two, <set>/gathers and <set>/loads, one for each way of reading texels.
#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <cstdio>
#include <string>

#include "app/app_state.h"
#include "platform/portable/control/d3d11_control.h"
#include "render/renderer.h"

namespace {

// A mid-cycle frame of the title screen, both layers scrolled.
AnimValues BenchValues() {
  AnimValues v = {};
  v.farScroll = 0.6f;
  v.nearScroll = 1.3f;
  const float fill[3] = {0.22f, 0.04f, 0.07f}, farTint[3] = {0.8f, 0.3f, 0.35f},
              nearTint[3] = {0.9f, 0.45f, 0.4f}, gradient[3] = {0.3f, 0.08f, 0.1f};
  for (int i = 0; i < 3; ++i) {
    v.fill[i] = fill[i];
    v.farTint[i] = farTint[i];
    v.nearTint[i] = nearTint[i];
    v.gradient[i] = gradient[i];
  }
  for (float& factor : v.brightness) factor = 1.0f;
  v.spot[0] = kTitleSpotX;
  v.spot[1] = kTitleSpotY;
  return v;
}

ID3D11RenderTargetView* CreateTarget(UINT width, UINT height) {
  D3D11_TEXTURE2D_DESC desc = {};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = D3D11_BIND_RENDER_TARGET;
  ID3D11Texture2D* texture = nullptr;
  ID3D11RenderTargetView* view = nullptr;
  if (FAILED(gApp.device->CreateTexture2D(&desc, nullptr, &texture))) return nullptr;
  gApp.device->CreateRenderTargetView(texture, nullptr, &view);
  texture->Release();
  return view;
}

void Frame(benchmark::State& state, int32_t tone, UINT width, UINT height, int threads,
           int64_t instructionSet, PortableKernelReads reads) {
  if (!gApp.device && !StartRenderer(true)) {
    state.SkipWithError("the renderer did not start");
    return;
  }
  gApp.tone = tone;
  ID3D11RenderTargetView* target = CreateTarget(width, height);
  if (!target) {
    state.SkipWithError("no render target");
    return;
  }
  // The wall turns from one frame to the next through 17 angles around the circle: the
  // time of a frame depends on the angle, through the order in which the wall's texels
  // are read.
  AnimValues values = BenchValues();
  int frame = 0;
  PortableSetWorkerThreads(threads);
  PortableSetKernelTarget(instructionSet);
  PortableSetKernelReads(reads);
  for (auto _ : state) {
    values.angle = 0.3696f * (float)(frame++ % 17);
    DrawFrame(target, width, height, values);
  }
  PortableSetWorkerThreads(0);
  PortableSetKernelTarget(0);
  PortableSetKernelReads(PortableKernelReads::Processor);
  gApp.context->OMSetRenderTargets(0, nullptr, nullptr);
  target->Release();
  state.counters["Mpixel/s"] = benchmark::Counter((double)width * height / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

void RegisterFrame(const std::string& name, int32_t tone, const UINT size[2], int threads,
                   int64_t target, PortableKernelReads reads) {
  benchmark::RegisterBenchmark(name.c_str(), Frame, tone, size[0], size[1], threads, target, reads)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}

int RegisterFrames() {
  const struct {
    const char* name;
    int32_t tone;
  } variants[] = {{"normal", 0}, {"light", 2}};
  const UINT sizes[][2] = {{640, 360}, {1920, 1080}, {3840, 2160}};
  for (const auto& variant : variants)
    for (const auto& size : sizes)
      for (int threads : {1, 2})
        for (int64_t target : PortableKernelTargets()) {
          const std::string name = std::string("Frame/") + variant.name + "/" +
                                   std::to_string(size[0]) + "x" + std::to_string(size[1]) +
                                   "/threads:" + std::to_string(threads) + "/" +
                                   hwy::TargetName(target);
          // x86's instruction sets from AVX2 on, the best having the lowest bits.
          const bool gathers = target <= HWY_AVX2;
          if (!gathers) {
            RegisterFrame(name, variant.tone, size, threads, target, PortableKernelReads::Gather);
            continue;
          }
          RegisterFrame(name + "/gathers", variant.tone, size, threads, target,
                        PortableKernelReads::Gather);
          RegisterFrame(name + "/loads", variant.tone, size, threads, target,
                        PortableKernelReads::LoadPerLane);
        }
  return 0;
}

const int registered = RegisterFrames();

}  // namespace
