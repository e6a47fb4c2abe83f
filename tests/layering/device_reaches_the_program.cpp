// A software-device source that names a program header beside the constant-buffer layout
// it may use: the device's include path must not find it.
#include "constant_buffer.h"
#include "render/renderer.h"
