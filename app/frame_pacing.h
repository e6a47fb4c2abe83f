// What one pass of the main loop puts on the screen: a new frame, or nothing while the
// window cannot be seen or already shows the very frame it would draw.
#pragma once

#include "anim/anim_values.h"

// Draws and presents the frame, or waits instead: 50 ms while there is no render target,
// the window is minimised or a present found it occluded (a test present each pass tells
// when it is seen again), and until the next message but at most 50 ms while the window
// shows a frame drawn from the same values, size, scene and tone.
void ShowFrame(const AnimValues& values);
