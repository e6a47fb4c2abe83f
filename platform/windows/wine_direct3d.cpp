// Under Wine, Direct3D 11 is wined3d, which by default hands every command to a thread of
// its own; after each batch that thread keeps polling its queue for tens of milliseconds
// before it sleeps. With one draw a frame it keeps a core busy at any frame rate, so the
// frame-rate setting and the battery-saver cap would save nothing (measured in a small
// window: a whole core at 60 frames a second, three quarters of one at 30). Single-threaded,
// wined3d draws on the calling thread: a fifth of a core at 60, a little over half that at 30.
//
// wined3d takes the choice from WINE_D3D_CONFIG when it loads, before the csmt values of its
// registry keys, and reads it with the getenv of Wine's C runtime, whose copy of the
// environment predates this program's code. So the variable is set through that runtime,
// for this process only, and before wined3d loads: d3d11.dll and d3dcompiler_47.dll, which
// bring it in, are delay-loaded.
#include "platform/windows/wine_direct3d.h"

#include <windows.h>

#include <string>

namespace {

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool HasValue(const std::wstring& key, const wchar_t* name) {
  return RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY, nullptr, nullptr,
                      nullptr) == ERROR_SUCCESS;
}

// The variable, or a csmt value in wined3d's keys: for every program, or for programs of
// this file name.
bool UserChoseCommandStream() {
  if (GetEnvironmentVariableW(L"WINE_D3D_CONFIG", nullptr, 0) != 0) return true;
  if (HasValue(L"Software\\Wine\\Direct3D", L"csmt")) return true;
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return false;
  std::wstring file(path, length);
  file.erase(0, file.find_last_of(L"\\/") + 1);
  return HasValue(L"Software\\Wine\\AppDefaults\\" + file + L"\\Direct3D", L"csmt");
}

}  // namespace

void PreferSingleThreadedDirect3DUnderWine() {
  if (!RunningUnderWine() || UserChoseCommandStream()) return;
  using PutEnv = int(__cdecl*)(const wchar_t*, const wchar_t*);
  HMODULE runtime = GetModuleHandleW(L"ucrtbase.dll");
  auto putEnv = reinterpret_cast<PutEnv>(
      runtime ? reinterpret_cast<void*>(GetProcAddress(runtime, "_wputenv_s")) : nullptr);
  if (putEnv)
    putEnv(L"WINE_D3D_CONFIG", L"csmt=0");
  else  // not loaded yet: it copies the process's environment when it loads
    SetEnvironmentVariableW(L"WINE_D3D_CONFIG", L"csmt=0");
}
