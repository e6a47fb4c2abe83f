// Decoding of textures' initial data into the kernels' layouts, and the decodes kept for
// textures made again from the same bytes.
#include "d3d11/texels.h"

#include <cstring>
#include <list>
#include <mutex>
#include <vector>

#include "blocks/block_decode.h"
#include "kernels/sampled_texture.h"

namespace portable_d3d {

namespace {

// Holds the wall's decode (its tiles, grey layouts and bytes, about 45 MB) and the spot's.
const size_t kKeptBytes = (size_t)64 << 20;

struct Source {
  UINT rows;
  size_t rowBytes;
};

// The bytes of the initial data that decoding reads: rows of blocks, or of texels.
Source SourceOf(const D3D11_TEXTURE2D_DESC& desc) {
  if (desc.Format == DXGI_FORMAT_R8G8B8A8_UNORM) return {desc.Height, (size_t)desc.Width * 4};
  const size_t blockBytes = desc.Format == DXGI_FORMAT_BC1_UNORM ? 8 : 16;
  return {desc.Height / 4, desc.Width / 4 * blockBytes};
}

const uint8_t* SourceRow(const D3D11_SUBRESOURCE_DATA& data, UINT row) {
  return (const uint8_t*)data.pSysMem + (size_t)row * data.SysMemPitch;
}

// One BC block is one 4 x 4 tile.
void DecodeBlocks(const D3D11_TEXTURE2D_DESC& desc, const D3D11_SUBRESOURCE_DATA& data,
                  uint8_t* tiles) {
  const bool bc1 = desc.Format == DXGI_FORMAT_BC1_UNORM;
  const UINT blockBytes = bc1 ? 8 : 16;
  const UINT blocksX = desc.Width / 4, blocksY = desc.Height / 4;
  for (UINT by = 0; by < blocksY; ++by) {
    const uint8_t* row = SourceRow(data, by);
    for (UINT bx = 0; bx < blocksX; ++bx) {
      uint8_t(*tile)[4] = (uint8_t(*)[4])(tiles + ((size_t)by * blocksX + bx) * 64);
      if (bc1)
        DecodeBC1Block(row + (size_t)bx * blockBytes, tile);
      else
        DecodeBC3Block(row + (size_t)bx * blockBytes, tile);
    }
  }
}

SampledTexture Layout(const D3D11_TEXTURE2D_DESC& desc, const uint8_t* tiles) {
  SampledTexture layout;
  layout.tiles = tiles;
  layout.width = (int32_t)desc.Width;
  layout.height = (int32_t)desc.Height;
  layout.tilesPerRow = (int32_t)((desc.Width + 3) / 4);
  return layout;
}

void TileTexels(const D3D11_TEXTURE2D_DESC& desc, const D3D11_SUBRESOURCE_DATA& data,
                TexelBytes* tiles) {
  tiles->assign((size_t)((desc.Width + 3) / 4) * ((desc.Height + 3) / 4) * 64, 0);
  SampledTexture layout = Layout(desc, tiles->data());
  for (UINT y = 0; y < desc.Height; ++y)
    for (UINT x = 0; x < desc.Width; ++x)
      std::memcpy((uint8_t*)TexelAddress(layout, (int32_t)x, (int32_t)y),
                  SourceRow(data, y) + (size_t)x * 4, 4);
}

std::shared_ptr<const DecodedTexels> Decode(const D3D11_TEXTURE2D_DESC& desc,
                                            const D3D11_SUBRESOURCE_DATA& data) {
  auto texels = std::make_shared<DecodedTexels>();
  if (desc.Format == DXGI_FORMAT_R8G8B8A8_UNORM) {
    TileTexels(desc, data, &texels->tiles);
  } else {
    texels->tiles.resize((size_t)desc.Width * desc.Height * 4);
    DecodeBlocks(desc, data, texels->tiles.data());
  }
  BuildGreyLayouts(Layout(desc, texels->tiles.data()), &texels->grey);
  return texels;
}

struct Kept {
  DXGI_FORMAT format;
  UINT width, height;
  std::vector<uint8_t> source;  // the bytes decoding read, rows without their padding
  std::shared_ptr<const DecodedTexels> texels;

  size_t Bytes() const { return source.size() + texels->tiles.size() + texels->grey.size(); }
  bool Matches(const D3D11_TEXTURE2D_DESC& desc, const D3D11_SUBRESOURCE_DATA& data) const {
    if (format != desc.Format || width != desc.Width || height != desc.Height) return false;
    Source s = SourceOf(desc);
    for (UINT row = 0; row < s.rows; ++row)
      if (std::memcmp(source.data() + row * s.rowBytes, SourceRow(data, row), s.rowBytes) != 0)
        return false;
    return true;
  }
};

std::mutex keptLock;
std::list<Kept> kept;  // the most recently used first
size_t keptBytes = 0;

// The kept decode of these bytes, now the most recent; null when there is none.
std::shared_ptr<const DecodedTexels> FindKept(const D3D11_TEXTURE2D_DESC& desc,
                                              const D3D11_SUBRESOURCE_DATA& data) {
  for (auto it = kept.begin(); it != kept.end(); ++it)
    if (it->Matches(desc, data)) {
      kept.splice(kept.begin(), kept, it);
      return it->texels;
    }
  return nullptr;
}

void Keep(const D3D11_TEXTURE2D_DESC& desc, const D3D11_SUBRESOURCE_DATA& data,
          std::shared_ptr<const DecodedTexels> texels) {
  Source s = SourceOf(desc);
  const size_t sourceBytes = (size_t)s.rows * s.rowBytes;
  const size_t bytes = sourceBytes + texels->tiles.size() + texels->grey.size();
  if (bytes > kKeptBytes) return;
  Kept entry = {desc.Format, desc.Width, desc.Height, std::vector<uint8_t>(sourceBytes),
                std::move(texels)};
  for (UINT row = 0; row < s.rows; ++row)
    std::memcpy(entry.source.data() + row * s.rowBytes, SourceRow(data, row), s.rowBytes);
  keptBytes += bytes;
  kept.push_front(std::move(entry));
  while (keptBytes > kKeptBytes) {
    keptBytes -= kept.back().Bytes();
    kept.pop_back();
  }
}

}  // namespace

std::shared_ptr<const DecodedTexels> DecodeTexels(const D3D11_TEXTURE2D_DESC& desc,
                                                  const D3D11_SUBRESOURCE_DATA& data) {
  {
    std::lock_guard<std::mutex> hold(keptLock);
    if (auto found = FindKept(desc, data)) return found;
  }
  std::shared_ptr<const DecodedTexels> texels = Decode(desc, data);
  std::lock_guard<std::mutex> hold(keptLock);
  Keep(desc, data, texels);
  return texels;
}

}  // namespace portable_d3d
