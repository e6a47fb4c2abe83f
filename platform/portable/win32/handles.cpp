// The handle table behind CloseHandle.
#include "win32/handles.h"

#include <unistd.h>

#include <map>

#include "control/live_control.h"
#include "win32/kernel.h"

namespace {

struct OpenObject {
  PortableHandleKind kind;
  int descriptor;
};

// Handles are numbers, not allocations, so a handle left open until process exit, as a
// second instance leaves its mutex, is no leak.
std::map<uintptr_t, OpenObject> handles;
uintptr_t nextHandle = 0x9000;

}  // namespace

HANDLE PortableNewHandle(PortableHandleKind kind, int descriptor) {
  nextHandle += 4;
  handles[nextHandle] = {kind, descriptor};
  return (HANDLE)nextHandle;
}

bool PortableHandleDescriptor(HANDLE handle, PortableHandleKind kind, int* descriptor) {
  auto found = handles.find((uintptr_t)handle);
  if (found == handles.end() || found->second.kind != kind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  *descriptor = found->second.descriptor;
  return true;
}

BOOL CloseHandle(HANDLE handle) {
  auto found = handles.find((uintptr_t)handle);
  if (found == handles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (found->second.descriptor >= 0) close(found->second.descriptor);
  handles.erase(found);
  return TRUE;
}

int PortableOpenHandleCount(PortableHandleKind kind) {
  int count = 0;
  for (const auto& [handle, object] : handles) count += object.kind == kind;
  return count;
}
