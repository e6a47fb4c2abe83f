// The one header through which the program reaches the operating system and the
// graphics system. On Windows these are the real SDK headers; elsewhere the portable
// implementation in platform/portable provides the same names with the same meaning; its
// headers admit the program only through here.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#include <dwmapi.h>
#include <wtsapi32.h>
#include <d3d11.h>
#include <dxgi1_2.h>
#include <d3dcompiler.h>
// Newer SDKs declare it; Windows 10 before version 1803 refuses it.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif
#else
#define VELMORA_WIN32_SEAM
#include "platform/portable/win32/win32_types.h"
#include "platform/portable/win32/kernel.h"
#include "platform/portable/win32/files.h"
#include "platform/portable/win32/user32.h"
#include "platform/portable/win32/shell.h"
#include "platform/portable/win32/dwmapi.h"
#include "platform/portable/win32/wtsapi32.h"
#include "platform/portable/win32/registry.h"
#include "platform/portable/d3d11/d3d11.h"
#undef VELMORA_WIN32_SEAM
#endif
