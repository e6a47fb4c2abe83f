// The watch over what covers the picture: the events that prompt a check, the backstop
// check, the half second an unseen picture is still drawn, and the wait while it is not.
#include "app/seen_watch.h"

#include <iterator>
#include <type_traits>

#include "app/app_state.h"
#include "app/picture_seen.h"
#include "shell/coverage.h"

namespace {

const ULONGLONG kBackstopMilliseconds = 1000;
const ULONGLONG kHoldMilliseconds = 500;

// Foreground changes, minimising and restoring, the end of a move or resize by hand,
// showing and hiding, cloaking and uncloaking.
const struct {
  DWORD first, last;
} kHookedEvents[] = {
    {EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND},
    {EVENT_SYSTEM_MOVESIZEEND, EVENT_SYSTEM_MOVESIZEEND},
    {EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZEEND},
    {EVENT_OBJECT_SHOW, EVENT_OBJECT_HIDE},
    {EVENT_OBJECT_CLOAKED, EVENT_OBJECT_UNCLOAKED},
};
static_assert(std::size(kHookedEvents) == std::extent_v<decltype(AppState::winEventHooks)>);

// Only top-level windows cover anything. A window that is already gone (hidden on its way
// to being destroyed) may have uncovered the picture.
void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD,
                         DWORD) {
  if (object != OBJID_WINDOW || child != CHILDID_SELF) return;
  if (IsWindow(window) && GetAncestor(window, GA_ROOT) != window) return;
  gApp.seenCheckDue = true;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The program's own changes raise no event it hears: its window brought up, moved or sized.
void NoteOwnChanges() {
  if (GetForegroundWindow() != gApp.seenForeground || !SameRect(ShownArea(), gApp.seenArea))
    gApp.seenCheckDue = true;
}

void Check(ULONGLONG now) {
  gApp.seenCheckDue = false;
  gApp.seenForeground = GetForegroundWindow();
  SeenInputs inputs = GatherSeenInputs();
  gApp.seenArea = inputs.area;
  gApp.nextSeenCheck = now + kBackstopMilliseconds;
  if (PictureSeen(inputs) == Seen) {
    gApp.unseenFound = false;
    gApp.unseenPaused = false;
    return;
  }
  if (!gApp.unseenFound) {
    gApp.unseenFound = true;
    gApp.unseenSince = now;
  }
  if (now - gApp.unseenSince >= kHoldMilliseconds)
    gApp.unseenPaused = true;
  else
    gApp.nextSeenCheck = gApp.unseenSince + kHoldMilliseconds;
}

}  // namespace

void StartSeenWatch() {
  for (size_t i = 0; i < std::size(kHookedEvents); ++i)
    gApp.winEventHooks[i] = SetWinEventHook(kHookedEvents[i].first, kHookedEvents[i].last, nullptr,
                                            OnWinEvent, 0, 0,
                                            WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
}

void StopSeenWatch() {
  for (HWINEVENTHOOK& hook : gApp.winEventHooks) {
    if (hook) UnhookWinEvent(hook);
    hook = nullptr;
  }
}

bool PictureSeenNow() {
  ULONGLONG now = GetTickCount64();
  NoteOwnChanges();
  if (gApp.seenCheckDue || now >= gApp.nextSeenCheck) Check(now);
  if (gApp.wakeFrameDue) {
    gApp.wakeFrameDue = false;
    return true;
  }
  return !gApp.unseenPaused;
}

// Whatever the window shows afterwards must be drawn anew. The wait is the loop's choice,
// not a stall, so the animation time takes it in full.
void WaitWhileUnseen() {
  gApp.pictureCurrent = false;
  ULONGLONG now = GetTickCount64();
  DWORD wait = gApp.nextSeenCheck > now ? (DWORD)(gApp.nextSeenCheck - now) : 0;
  MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
  gApp.chosenWait = wait / 1000.0;
}

void RecheckSeen() { gApp.seenCheckDue = true; }
