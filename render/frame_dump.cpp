// The dump run's one frame: drawn off screen, read back, and written as an uncompressed
// top-down 24-bit BMP file.
#include "render/frame_dump.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <random>
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

// What the file is written from: the mapped read-back copy, rows of RGBA bytes `pitch`
// apart, and a buffer in which its rows are converted a chunk at a time, so that the file's
// bytes are never held whole beside it.
struct FrameRows {
  const uint8_t* rgba;
  size_t pitch;
  uint32_t width, height;
  uint8_t* buffer;
  size_t bufferBytes;  // kChunkBytes, or one row where that is larger
};

const size_t kChunkBytes = 1 << 20;

bool WriteAll(HANDLE file, const uint8_t* bytes, size_t size) {
  DWORD written = 0;
  return WriteFile(file, bytes, (DWORD)size, &written, nullptr) && written == size;
}

// The headers, then the rows in blue, green, red, each padded with zeros to four bytes.
bool WriteBmp(HANDLE file, const FrameRows& frame) {
  const size_t rowBytes = ((size_t)frame.width * 3 + 3) & ~(size_t)3;
  uint8_t headers[kHeadersSize];
  BuildHeaders(frame.width, frame.height, (uint32_t)(rowBytes * frame.height), headers);
  if (!WriteAll(file, headers, kHeadersSize)) return false;
  const uint32_t rowsPerChunk = (uint32_t)(frame.bufferBytes / rowBytes);
  for (uint32_t first = 0; first < frame.height; first += rowsPerChunk) {
    const uint32_t rows = std::min(rowsPerChunk, frame.height - first);
    for (uint32_t y = 0; y < rows; ++y) {
      const uint8_t* source = frame.rgba + (size_t)(first + y) * frame.pitch;
      uint8_t* row = frame.buffer + (size_t)y * rowBytes;
      for (uint32_t x = 0; x < frame.width; ++x) {
        row[3 * x + 0] = source[4 * x + 2];
        row[3 * x + 1] = source[4 * x + 1];
        row[3 * x + 2] = source[4 * x + 0];
      }
      for (size_t x = (size_t)frame.width * 3; x < rowBytes; ++x) row[x] = 0;
    }
    if (!WriteAll(file, frame.buffer, rows * rowBytes)) return false;
  }
  return true;
}

// The name of the file itself, through every link; empty when it has none.
std::wstring FinalPath(HANDLE file) {
  DWORD size = GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (size == 0) return L"";
  std::wstring path(size, L'\0');
  DWORD length = GetFinalPathNameByHandleW(file, &path[0], size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= size) return L"";
  path.resize(length);
  return path;
}

// A new file beside `target` under a short name nobody can guess, made only if no file or
// link has that name, so that nothing planted there is written through.
HANDLE CreateTemporaryBeside(const std::wstring& target, std::wstring* temporary) {
  size_t separator = target.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return INVALID_HANDLE_VALUE;
  static const wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::wstring name = L".velmora-";
    for (int i = 0; i < 12; ++i) name += kLetters[random() % 36];
    *temporary = target.substr(0, separator + 1) + name + L".tmp";
    HANDLE file = CreateFileW(temporary->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

// Writes the file as opening it for writing would, without ever leaving it half written
// where that can be avoided. A device or pipe is written directly, and a link is written
// through to the file it names. A regular file is written under a temporary name beside it
// and then takes its place with its attributes and access, so a failed write, a full disk
// or a termination request leaves the old file as it was. Where its folder refuses a new
// file or the file has other names (hard links), it is truncated and written in place. A
// read-only file is not written.
bool WriteFileReplacing(const std::wstring& path, const FrameRows& frame) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool created = GetLastError() != ERROR_ALREADY_EXISTS;
  bool written = false;
  if (GetFileType(file) == FILE_TYPE_DISK) {
    BY_HANDLE_FILE_INFORMATION information = {};
    std::wstring target = FinalPath(file), temporary;
    HANDLE replacement = INVALID_HANDLE_VALUE;
    bool inPlace = target.empty() || !GetFileInformationByHandle(file, &information) ||
                   information.nNumberOfLinks != 1;
    if (!inPlace) {
      replacement = CreateTemporaryBeside(target, &temporary);
      inPlace = replacement == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED;
    }
    if (replacement != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      written = WriteBmp(replacement, frame);
      CloseHandle(replacement);
      if (written && ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, 0, nullptr, nullptr))
        return true;
      // These two leave the target's name empty, the old file deleted or renamed, and the
      // new one under its temporary name: it moves into the name instead of being lost too,
      // and where even that fails it stays where it is, the one picture left.
      DWORD error = GetLastError();
      bool nameEmptied =
          error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
      if (written && nameEmptied)
        return MoveFileExW(temporary.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
      DeleteFileW(temporary.c_str());
      if (created) DeleteFileW(target.c_str());
      return false;
    }
    written = inPlace && SetEndOfFile(file) && WriteBmp(file, frame);
  } else {
    written = WriteBmp(file, frame);
  }
  CloseHandle(file);
  if (!written && created) DeleteFileW(path.c_str());
  return written;
}

}  // namespace

bool DumpFrame() {
  const uint32_t width = (uint32_t)gApp.dumpWidth, height = (uint32_t)gApp.dumpHeight;
  // The file's size fields are 32 bits: a larger image cannot be stored, and is refused before
  // anything is allocated (a negative size arrives here as a very large unsigned one).
  const uint64_t stride = ((uint64_t)width * 3 + 3) & ~(uint64_t)3;
  if (stride * height + kHeadersSize > UINT32_MAX) return false;
  const size_t bufferBytes = std::max((size_t)stride, kChunkBytes);
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[bufferBytes]);
  if (!buffer) return false;

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
  bool copied = false;
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
      copied = true;
    }
  }
  // The file is written from the read-back copy alone.
  ReleaseObject(view);
  ReleaseObject(target);

  bool written = false;
  D3D11_MAPPED_SUBRESOURCE mapped = {};
  if (copied && SUCCEEDED(gApp.context->Map(staging, 0, D3D11_MAP_READ, 0, &mapped))) {
    const FrameRows frame = {(const uint8_t*)mapped.pData, mapped.RowPitch, width, height,
                             buffer.get(), bufferBytes};
    written = WriteFileReplacing(gApp.dumpPath, frame);
    gApp.context->Unmap(staging, 0);
  }
  ReleaseObject(staging);
  return written;
}
