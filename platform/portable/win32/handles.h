// Kernel handles of the portable layer: one table for every kind of object a HANDLE can
// name here (files, named mutexes and waitable timers), so that CloseHandle closes any of them.
#pragma once

#include "layer_only.h"

#include "win32/win32_types.h"

enum class PortableHandleKind { File, Mutex, Timer };

// A new handle for this descriptor (-1 for an object that holds none).
HANDLE PortableNewHandle(PortableHandleKind kind, int descriptor);
// The descriptor behind an open handle of this kind; false (with ERROR_INVALID_HANDLE)
// when the handle is not open or names another kind of object.
bool PortableHandleDescriptor(HANDLE handle, PortableHandleKind kind, int* descriptor);
