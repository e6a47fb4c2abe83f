// Portable compositor queries: whether a window is cloaked (kept from the screen by the
// compositor, as on another virtual desktop or while a store app is suspended) and its
// frame's bounds. Left out: every other attribute (E_INVALIDARG), setting attributes.
#pragma once

#include "layer_only.h"

#include "win32/win32_types.h"

#define DWMWA_EXTENDED_FRAME_BOUNDS 9
#define DWMWA_CLOAKED 14
#define DWM_CLOAKED_APP 0x00000001
#define DWM_CLOAKED_SHELL 0x00000002
#define DWM_CLOAKED_INHERITED 0x00000004

// DWMWA_CLOAKED: a DWORD, the reasons the window is cloaked, DWM_CLOAKED_INHERITED when only
// an ancestor is. DWMWA_EXTENDED_FRAME_BOUNDS: a RECT in screen coordinates (this desktop's
// frames have no invisible resize borders, so it is the window's rectangle). E_HANDLE for a
// window that does not exist, E_INVALIDARG for a size that is not the attribute's.
HRESULT DwmGetWindowAttribute(HWND window, DWORD attribute, PVOID value, DWORD size);
