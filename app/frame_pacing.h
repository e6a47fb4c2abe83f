// What one pass of the main loop puts on the screen: a new frame, or nothing while the
// window cannot be seen, already shows the very frame it would draw, or the next frame is
// not due yet.
#pragma once

#include "anim/anim_values.h"
#include "platform/win32.h"

// Draws and presents the frame, or waits instead: 50 ms while there is no render target,
// the window is minimised or hidden, or a present found it occluded (a test present each
// pass tells when it is seen again); until the next message but at most 50 ms while the
// window shows a frame drawn from the same values, size, scene and tone; and until the next
// frame is due or a message comes, at the frame rate chosen, the display's refresh and the
// power-saving cap. While nobody can see the picture (seen_watch.h), it waits for messages
// until the next look instead.
void ShowFrame(const AnimValues& values);

// The waitable timer that paces frames: a high-resolution one where Windows offers it
// (Windows 10 from version 1803 on), else an ordinary one; null if neither can be made.
HANDLE CreateFrameTimer();
