// What lies above the picture: the area the program shows, the windows of other programs
// over it, and what the system reports, gathered for the seen decision.
#pragma once

#include "app/picture_seen.h"
#include "platform/win32.h"

SeenInputs GatherSeenInputs();
// The area the program shows, in screen coordinates: in wallpaper mode its monitor, else
// the window's client rectangle, clipped to the screen.
RECT ShownArea();
