// The Direct3D 11 renderer: device, shaders, textures, samplers, constant buffer, swap chain.
#pragma once

#include <cstdint>

#include "anim/anim_values.h"
#include "platform/win32.h"

// Creates the device and every other renderer object (the swap chain too, unless
// offscreen); on failure it shows the error box first.
bool StartRenderer(bool offscreen);
// The same for the current main window after the device was lost, without an error box;
// on failure nothing of the renderer is left.
bool RestartRenderer();
bool CreateSwapChain();
// The swap chain and its view go with their window; device, shaders and textures stay.
void ReleaseSwapChain();
bool LoadTexture(int resourceId, UINT edge, DXGI_FORMAT format, UINT rowPitch,
                 ID3D11ShaderResourceView** view);
// Uploads the frame's constants and draws it into target; false (nothing drawn) when the
// constant buffer could not be mapped.
bool DrawFrame(ID3D11RenderTargetView* target, uint32_t width, uint32_t height,
               const AnimValues& values);
// Gives up every renderer object of gApp; process exit otherwise reclaims them.
void ReleaseRenderer();
