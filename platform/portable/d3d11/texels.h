// The texels of shader-resource textures as the kernels read them, decoded once from the
// initial data. Decoding the wall costs more than anything else in building a renderer, and
// a renderer rebuilt after a device loss uploads the same bytes again, so the texels of the
// last textures decoded are kept (up to a budget) and shared by textures made from the same
// description and bytes. Nothing writes texels after decoding.
#pragma once

#include "layer_only.h"

#include <memory>

#include "d3d11/d3d11.h"
#include "d3d11/large_pages.h"

namespace portable_d3d {

struct DecodedTexels {
  TexelBytes tiles;  // the tiled layout of SampledTexture
  TexelBytes grey;   // grey textures: the grey columns and alpha tiles; else empty
};

// The texels of an immutable BC1, BC3 or R8G8B8A8 texture with this description and data;
// throws std::bad_alloc.
std::shared_ptr<const DecodedTexels> DecodeTexels(const D3D11_TEXTURE2D_DESC& desc,
                                                  const D3D11_SUBRESOURCE_DATA& data);

}  // namespace portable_d3d
