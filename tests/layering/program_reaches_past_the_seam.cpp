// A program source that reaches into the portable layer past platform/win32.h: the build
// must refuse it (see the layering tests in tests/CMakeLists.txt).
#include "platform/win32.h"
#include "platform/portable/control/desktop_control.h"
