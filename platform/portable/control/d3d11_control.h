// Test controls of the software Direct3D device: injected failures, the last presented
// image of a swap chain, and a count of live objects so tests can check nothing leaks.
#pragma once

#include "layer_only.h"

#include <cstdint>
#include <vector>

#include "d3d11/d3d11.h"

enum class PortableD3DFailure { Device, PixelShader, Texture, SwapChain, ResizeBuffers, Map };

// The next `count` calls of that kind that would otherwise succeed fail with E_FAIL:
// D3D11CreateDevice (the WARP request; the hardware request always fails), CreatePixelShader,
// CreateTexture2D, CreateSwapChainForHwnd, ResizeBuffers, Map (of any resource).
void PortableFailNext(PortableD3DFailure what, int count = 1);
// Clears the failures above and gives back the vsync and the flip model below.
void PortableResetFailures();

// A driver that forces vsync off (as do Wine without vsync and many remote sessions):
// Present returns at once whatever its sync interval.
void PortableForceVsyncOff(bool off);
// A system without the flip model: CreateSwapChainForHwnd refuses its swap effects with
// DXGI_ERROR_INVALID_CALL.
void PortableRefuseFlipModel(bool refuse);
// The sync interval of the swap chain's last present that showed a frame, 0 before any.
UINT PortableLastSyncInterval(IDXGISwapChain1* chain);

// Removes the device as a driver update or a GPU reset would: GetDeviceRemovedReason
// reports `reason` (DXGI_ERROR_DEVICE_REMOVED, _RESET or _HUNG); creating anything, Map and
// CreateSwapChainForHwnd fail with DXGI_ERROR_DEVICE_REMOVED; Present and ResizeBuffers of
// its swap chains fail with DXGI_ERROR_DEVICE_RESET after a reset, else with
// DXGI_ERROR_DEVICE_REMOVED; Draw and CopyResource do nothing. Bindings and releases still
// work. Devices created afterwards are not affected.
void PortableRemoveDevice(ID3D11Device* device, HRESULT reason = DXGI_ERROR_DEVICE_REMOVED);

// The last image presented by a swap chain: RGBA8 rows, width, height; false if none yet.
bool PortableReadPresented(IDXGISwapChain1* chain, std::vector<uint8_t>* rgba, UINT* w, UINT* h);

// Number of device, DXGI and blob objects whose reference count has not reached zero.
int PortableLiveObjectCount();

// Number of frames presented on all swap chains since start: Present calls that handed
// their frame to the display (not tests, not those that reported occlusion, not failed ones).
int PortablePresentCount();

// Number of Draw calls since start that shaded a target.
int PortableDrawCount();

// Threads that shade each draw, the calling thread included; 0 restores the default of
// one per processor. Results do not depend on it.
void PortableSetWorkerThreads(int count);

// The instruction sets the vector kernel is built for and this processor runs, best first,
// as Highway target bits (hwy::TargetName names them).
std::vector<int64_t> PortableKernelTargets();

// Draws from now on shade with that instruction set, one of PortableKernelTargets(); 0 (or
// any other value) restores the best one. Results do not depend on it.
void PortableSetKernelTarget(int64_t target);

// How the vector kernel reads texels: the processor's way (one load per lane on AMD's
// processors, whose gathers take longer than the loads; the gather instruction of AVX2 and
// AVX-512 otherwise), always the gather instruction where the instruction set has one, or
// always one load per lane. Results do not depend on it.
enum class PortableKernelReads { Processor, Gather, LoadPerLane };
void PortableSetKernelReads(PortableKernelReads reads);
