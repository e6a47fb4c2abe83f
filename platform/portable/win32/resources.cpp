// The program's RCDATA resources, assembled into the binary as Windows links them into
// the executable: 101 and 102 the texture payloads, 103 and 104 the shader sources.
#include <cstring>

#include "win32/kernel.h"

#define PORTABLE_INCBIN(symbol, file)                      \
  __asm__(".section .rodata\n"                            \
          ".balign 16\n"                                  \
          ".global " #symbol "_begin\n" #symbol "_begin:\n" \
          ".incbin \"" VELMORA_SOURCE_DIR "/" file "\"\n" \
          ".global " #symbol "_end\n" #symbol "_end:\n"     \
          ".byte 0\n"                                     \
          ".previous\n")

PORTABLE_INCBIN(velmora_wall, "assets/wall.bc3");
PORTABLE_INCBIN(velmora_spot, "assets/spot.bc1");
PORTABLE_INCBIN(velmora_background_ps, "shaders/background.hlsl");
PORTABLE_INCBIN(velmora_fullscreen_vs, "shaders/fullscreen.hlsl");

extern "C" const unsigned char velmora_wall_begin[], velmora_wall_end[];
extern "C" const unsigned char velmora_spot_begin[], velmora_spot_end[];
extern "C" const unsigned char velmora_background_ps_begin[], velmora_background_ps_end[];
extern "C" const unsigned char velmora_fullscreen_vs_begin[], velmora_fullscreen_vs_end[];

namespace {

struct Resource {
  WORD id;
  const unsigned char* begin;
  const unsigned char* end;
};

const Resource kResources[] = {
    {101, velmora_wall_begin, velmora_wall_end},
    {102, velmora_spot_begin, velmora_spot_end},
    {103, velmora_background_ps_begin, velmora_background_ps_end},
    {104, velmora_fullscreen_vs_begin, velmora_fullscreen_vs_end},
};

}  // namespace

HRSRC FindResourceW(HMODULE, LPCWSTR name, LPCWSTR type) {
  if (!IS_INTRESOURCE(name) || type != RT_RCDATA) {
    SetLastError(ERROR_RESOURCE_NOT_FOUND);
    return nullptr;
  }
  for (const Resource& resource : kResources)
    if (resource.id == (WORD)(ULONG_PTR)name) return (HRSRC)&resource;
  SetLastError(ERROR_RESOURCE_NOT_FOUND);
  return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  return resource ? (HGLOBAL)((const Resource*)resource)->begin : nullptr;
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
  if (!resource) return 0;
  const Resource* r = (const Resource*)resource;
  return (DWORD)(r->end - r->begin);
}

LPVOID LockResource(HGLOBAL data) { return data; }
