// The one header through which the program reaches the operating system and the
// graphics system. On Windows these are the real SDK headers; elsewhere the portable
// implementation in platform/portable provides the same names with the same meaning.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <d3d11.h>
#include <dxgi1_2.h>
#include <d3dcompiler.h>
#else
#include "platform/portable/win32_types.h"
#include "platform/portable/kernel.h"
#include "platform/portable/files.h"
#include "platform/portable/user32.h"
#include "platform/portable/shell.h"
#include "platform/portable/registry.h"
#include "platform/portable/d3d11.h"
#endif
