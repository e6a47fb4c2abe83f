// Event hooks: the hooks set on the program's thread, and the events the desktop raises
// for them, queued to that thread as Windows queues out-of-context events.
#include <algorithm>
#include <vector>

#include "win32/desktop_internal.h"
#include "win32/kernel.h"

namespace {

struct Hook {
  HWINEVENTHOOK handle;
  DWORD eventMin, eventMax;
  WINEVENTPROC proc;
  DWORD process, thread, flags;
};
std::vector<Hook> hooks;
uintptr_t nextHook = 0x30000;

bool Hooked(HWINEVENTHOOK handle) {
  return std::any_of(hooks.begin(), hooks.end(), [&](const Hook& h) { return h.handle == handle; });
}

}  // namespace

namespace desktop {

void RaiseWinEvent(DWORD event, HWND window) {
  Window* record = Find(window);
  DWORD process = record ? ProcessOf(*record) : 0;
  bool own = process == GetCurrentProcessId();
  for (const Hook& hook : hooks) {
    if (event < hook.eventMin || event > hook.eventMax) continue;
    if (own && (hook.flags & (WINEVENT_SKIPOWNPROCESS | WINEVENT_SKIPOWNTHREAD))) continue;
    if ((hook.process && hook.process != process) || (hook.thread && hook.thread != process))
      continue;
    DWORD time = (DWORD)GetTickCount64();
    QueueIncoming([hook, event, window, process, time] {
      if (Hooked(hook.handle))
        hook.proc(hook.handle, event, window, OBJID_WINDOW, CHILDID_SELF, process, time);
    });
  }
}

void ResetWinEvents() { hooks.clear(); }

}  // namespace desktop

HWINEVENTHOOK SetWinEventHook(DWORD eventMin, DWORD eventMax, HMODULE module, WINEVENTPROC proc,
                              DWORD idProcess, DWORD idThread, DWORD flags) {
  if (!proc) {
    SetLastError(ERROR_INVALID_FILTER_PROC);
    return nullptr;
  }
  if (eventMin > eventMax) {
    SetLastError(ERROR_INVALID_HOOK_FILTER);
    return nullptr;
  }
  if ((flags & WINEVENT_INCONTEXT) && !module) {
    SetLastError(ERROR_HOOK_NEEDS_HMOD);
    return nullptr;
  }
  HWINEVENTHOOK handle = (HWINEVENTHOOK)nextHook;
  nextHook += 4;
  hooks.push_back({handle, eventMin, eventMax, proc, idProcess, idThread, flags});
  return handle;
}

BOOL UnhookWinEvent(HWINEVENTHOOK handle) {
  auto found = std::find_if(hooks.begin(), hooks.end(), [&](const Hook& h) { return h.handle == handle; });
  if (found == hooks.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  hooks.erase(found);
  return TRUE;
}

int PortableWinEventHookCount() { return (int)hooks.size(); }
