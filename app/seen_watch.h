// Whether the picture is seen, kept up to date cheaply: looked at again when a window of
// another program changes (the system's window events), when a system notice arrives, when
// the foreground window or the area shown changes, and once a second regardless, since not
// every change raises an event (and under Wine none does).
#pragma once

// Hooks the window events that may cover or uncover the picture; StopSeenWatch unhooks them.
void StartSeenWatch();
void StopSeenWatch();
// Whether this pass draws: false once the picture has been unseen for half a second (so
// that switching windows does not stutter), true again as soon as a check finds it seen.
bool PictureSeenNow();
// Instead of a frame: nothing drawn or presented, messages awaited until the next check.
void WaitWhileUnseen();
// Something changed that the next pass looks at before it draws.
void RecheckSeen();
