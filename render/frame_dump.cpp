// The dump run's one frame: drawn off screen, read back, and written as an uncompressed
// top-down 24-bit BMP file.
#include "render/frame_dump.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "app/app_state.h"
#include "render/renderer.h"

namespace {

const uint32_t kHeadersSize = 14 + 40;

void PutU16(uint8_t* at, uint16_t value) {
  at[0] = (uint8_t)value;
  at[1] = (uint8_t)(value >> 8);
}

void PutU32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = (uint8_t)(value >> (8 * i));
}

// BITMAPFILEHEADER followed by BITMAPINFOHEADER; the negative height puts the top row first.
void BuildHeaders(uint32_t width, uint32_t height, uint32_t pixelBytes, uint8_t* headers) {
  for (uint32_t i = 0; i < kHeadersSize; ++i) headers[i] = 0;
  headers[0] = 'B';
  headers[1] = 'M';
  PutU32(headers + 2, pixelBytes + kHeadersSize);
  PutU32(headers + 10, kHeadersSize);
  PutU32(headers + 14, 40);
  PutU32(headers + 18, width);
  PutU32(headers + 22, (uint32_t)(-(int64_t)height));
  PutU16(headers + 26, 1);
  PutU16(headers + 28, 24);
  PutU32(headers + 34, pixelBytes);
}

// Writes the file under a temporary name beside the target and renames it over the target,
// so a failed or short write, a failed close or a full disk leaves any existing file as it was.
bool WriteFileReplacing(const std::wstring& path, const uint8_t* headers, const uint8_t* pixels,
                        size_t pixelBytes) {
  std::wstring temporary = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  FILE* file = _wfopen(temporary.c_str(), L"wb");
  if (!file) return false;
  bool written = std::fwrite(headers, 1, 14, file) == 14 &&
                 std::fwrite(headers + 14, 1, 40, file) == 40 &&
                 std::fwrite(pixels, 1, pixelBytes, file) == pixelBytes;
  written = std::fclose(file) == 0 && written;
  if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
    return true;
  DeleteFileW(temporary.c_str());
  return false;
}

}  // namespace

bool DumpFrame() {
  const uint32_t width = (uint32_t)gApp.dumpWidth, height = (uint32_t)gApp.dumpHeight;
  // The file's size fields are 32 bits: a larger image cannot be stored, and is refused before
  // anything is allocated (a negative size arrives here as a very large unsigned one).
  const uint64_t stride = ((uint64_t)width * 3 + 3) & ~(uint64_t)3;
  if (stride * height + kHeadersSize > UINT32_MAX) return false;
  const uint32_t rowBytes = (uint32_t)stride, pixelBytes = rowBytes * height;

  D3D11_TEXTURE2D_DESC desc = {};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  desc.SampleDesc = {1, 0};
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = D3D11_BIND_RENDER_TARGET;
  ID3D11Texture2D* target = nullptr;
  ID3D11RenderTargetView* view = nullptr;
  ID3D11Texture2D* staging = nullptr;
  bool mapped = false;
  D3D11_MAPPED_SUBRESOURCE image = {};
  std::unique_ptr<uint8_t[]> pixels;

  if (SUCCEEDED(gApp.device->CreateTexture2D(&desc, nullptr, &target)) &&
      SUCCEEDED(gApp.device->CreateRenderTargetView(target, nullptr, &view))) {
    AnimValues values;
    ComputeAnimValues(gApp.fixedTimeGiven ? (double)gApp.fixedTime : 0.0, &values);
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    if (DrawFrame(view, width, height, values) &&
        SUCCEEDED(gApp.device->CreateTexture2D(&desc, nullptr, &staging))) {
      gApp.context->CopyResource(staging, target);
      mapped = SUCCEEDED(gApp.context->Map(staging, 0, D3D11_MAP_READ, 0, &image));
    }
  }

  if (mapped) {
    pixels.reset(new (std::nothrow) uint8_t[pixelBytes]());
    for (uint32_t y = 0; pixels && y < height; ++y) {
      const uint8_t* source = (const uint8_t*)image.pData + (size_t)y * image.RowPitch;
      uint8_t* row = pixels.get() + (size_t)y * rowBytes;
      for (uint32_t x = 0; x < width; ++x) {
        row[3 * x + 0] = source[4 * x + 2];
        row[3 * x + 1] = source[4 * x + 1];
        row[3 * x + 2] = source[4 * x + 0];
      }
    }
    gApp.context->Unmap(staging, 0);
  }

  bool written = false;
  if (pixels) {
    uint8_t headers[kHeadersSize];
    BuildHeaders(width, height, pixelBytes, headers);
    written = WriteFileReplacing(gApp.dumpPath, headers, pixels.get(), pixelBytes);
  }
  ReleaseObject(staging);
  ReleaseObject(view);
  ReleaseObject(target);
  return written;
}
