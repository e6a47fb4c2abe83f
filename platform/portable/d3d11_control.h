// Test controls of the software Direct3D device: injected failures, the last presented
// image of a swap chain, and a count of live objects so tests can check nothing leaks.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/portable/d3d11.h"

enum class PortableD3DFailure { Device, PixelShader, Texture, SwapChain, ResizeBuffers, Map };

// The next `count` calls of that kind that would otherwise succeed fail with E_FAIL:
// D3D11CreateDevice (the WARP request; the hardware request always fails), CreatePixelShader,
// CreateTexture2D, CreateSwapChainForHwnd, ResizeBuffers, Map (of any resource).
void PortableFailNext(PortableD3DFailure what, int count = 1);
void PortableResetFailures();

// The last image presented by a swap chain: RGBA8 rows, width, height; false if none yet.
bool PortableReadPresented(IDXGISwapChain1* chain, std::vector<uint8_t>* rgba, UINT* w, UINT* h);

// Number of device, DXGI and blob objects whose reference count has not reached zero.
int PortableLiveObjectCount();

// Number of Present calls on all swap chains since start.
int PortablePresentCount();

// Threads that shade each draw, the calling thread included; 0 restores the default of
// one per processor. Results do not depend on it.
void PortableSetWorkerThreads(int count);

// The instruction sets the vector kernel is built for and this processor runs, best first,
// as Highway target bits (hwy::TargetName names them).
std::vector<int64_t> PortableKernelTargets();

// Draws from now on shade with that instruction set, one of PortableKernelTargets(); 0 (or
// any other value) restores the best one. Results do not depend on it.
void PortableSetKernelTarget(int64_t target);
