// The shader compiler of the software device. It compiles nothing: it recognises the HLSL
// sources whose computation exists as a C++ kernel, by their exact content, and returns a
// small bytecode naming that kernel. Any other source, entry point, target or macro set is
// refused, so an edited shader without a matching kernel update cannot pass unnoticed.
#include <cstring>
#include <string>
#include <vector>

#include "d3d11/objects.h"
#include "kernels/background_kernel.h"
#include "kernels/fullscreen_kernel.h"
#include "kernels/shader_hash.h"

namespace portable_d3d {
namespace {

class Blob final : public Counted<ID3D10Blob> {
 public:
  explicit Blob(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  HRESULT QueryInterface(REFIID riid, void** object) override {
    return AnswerQuery(this, riid, object, {&IID_IUnknown});
  }
  LPVOID GetBufferPointer() override { return bytes_.data(); }
  SIZE_T GetBufferSize() override { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
};

struct KernelSource {
  ShaderKernel kernel;
  uint64_t hash;
  const char* entryPoint;
  const char* target;
};

const KernelSource kKernelSources[] = {
    {ShaderKernel::Background, kBackgroundShaderSourceHash, "PSMain", "ps_5_0"},
    {ShaderKernel::Fullscreen, kFullscreenShaderSourceHash, "VSMain", "vs_5_0"},
};

constexpr char kMagic[4] = {'V', 'L', 'K', 'S'};
constexpr size_t kBytecodeSize = 16;  // magic, kernel (4 bytes), source hash (8 bytes)

const KernelSource* FindKernel(ShaderKernel kernel) {
  for (const KernelSource& source : kKernelSources)
    if (source.kernel == kernel) return &source;
  return nullptr;
}

}  // namespace

bool ReadShaderBytecode(const void* bytecode, SIZE_T length, ShaderKernel* kernel) {
  if (!bytecode || length != kBytecodeSize) return false;
  const uint8_t* bytes = (const uint8_t*)bytecode;
  uint32_t id;
  uint64_t hash;
  std::memcpy(&id, bytes + 4, 4);
  std::memcpy(&hash, bytes + 8, 8);
  if (std::memcmp(bytes, kMagic, 4) != 0 || id > (uint32_t)ShaderKernel::Fullscreen) return false;
  const KernelSource* source = FindKernel((ShaderKernel)id);
  if (!source || source->hash != hash) return false;
  *kernel = source->kernel;
  return true;
}

}  // namespace portable_d3d

using namespace portable_d3d;

HRESULT D3DCompile(LPCVOID sourceData, SIZE_T sourceSize, LPCSTR sourceName,
                   const D3D_SHADER_MACRO* defines, ID3DInclude*, LPCSTR entryPoint,
                   LPCSTR target, UINT, UINT, ID3DBlob** code, ID3DBlob** errorMessages) {
  if (code) *code = nullptr;
  if (errorMessages) *errorMessages = nullptr;
  if (!sourceData || !code || !entryPoint || !target) return E_INVALIDARG;

  std::string error;
  const KernelSource* match = nullptr;
  uint64_t hash = HashShaderSource(sourceData, sourceSize);
  for (const KernelSource& source : kKernelSources)
    if (source.hash == hash) match = &source;
  if (!match)
    error = "no kernel of the software device computes this source";
  else if (defines && defines[0].Name)
    error = "macro definitions change the source; no kernel matches them";
  else if (std::strcmp(entryPoint, match->entryPoint) != 0)
    error = std::string("entry point '") + entryPoint + "' not found";
  else if (std::strcmp(target, match->target) != 0)
    error = std::string("target '") + target + "' does not match the kernel's " + match->target;

  if (!error.empty()) {
    if (errorMessages) {
      std::string message = std::string(sourceName ? sourceName : "<source>") + ": error: " + error;
      *errorMessages = new Blob(std::vector<uint8_t>(message.c_str(), message.c_str() + message.size() + 1));
    }
    return E_FAIL;
  }
  std::vector<uint8_t> bytecode(kBytecodeSize);
  uint32_t id = (uint32_t)match->kernel;
  std::memcpy(bytecode.data(), kMagic, 4);
  std::memcpy(bytecode.data() + 4, &id, 4);
  std::memcpy(bytecode.data() + 8, &match->hash, 8);
  *code = new Blob(std::move(bytecode));
  return S_OK;
}
