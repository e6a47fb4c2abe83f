// Portable Windows: what it models and what it leaves out.
//
// The program is written once against the Win32, shell, registry and Direct3D 11 names.
// On a system without them, platform/portable provides the subset the program calls, with
// Windows' semantics wherever the program relies on them:
//   - win32/kernel.h    command line and its splitting, the tick count, process id,
//                       performance counter, Sleep, last error, the module's file name and
//                       resources, the user's UI language, a named mutex that is a real
//                       cross-process lock, and waitable timers;
//   - win32/files.h     files by handle: CreateFileW and its dispositions, WriteFile, the
//                       kind and final path of an open file, ReplaceFileW, MoveFileExW,
//                       DeleteFileW;
//   - win32/user32.h    an in-process desktop: monitors, window classes and windows with
//                       styles, parents and rectangles, one message queue for the thread,
//                       the shell's Progman / SHELLDLL_DefView / WorkerW windows, popup
//                       menus, message boxes, windows of other programs, event hooks,
//                       power and suspend notifications;
//   - win32/shell.h     the notification area, the wallpaper setting and the user's
//                       notification state;
//   - win32/dwmapi.h    windows' cloaking and frame bounds as the compositor reports them;
//   - win32/wtsapi32.h  session notifications (lock, unlock, console connect and the rest);
//   - win32/registry.h  the current user's registry, kept in one file under the XDG config
//                       directory;
//   - d3d11/d3d11.h     a software Direct3D 11 device and DXGI swap chains: block-compressed
//                       textures (decoded by blocks/), samplers, render targets, staging
//                       copies, a triangle rasterizer and the program's two shaders as the
//                       C++ kernels of kernels/;
//   - control/          what tests and benchmarks do to the desktop, the files and the
//                       device.
// Left out: GDI drawing, real screens and input devices (tests and signals drive the
// desktop instead), threads other than the program's one, security attributes, and every
// call the program does not make. Texts are wchar_t (UTF-32 here); paths are converted to
// UTF-8 at the file-system boundary.
#pragma once

#include "layer_only.h"

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define STDMETHODCALLTYPE

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned char UCHAR;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t INT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t DWORD_PTR;
typedef intptr_t INT_PTR;
typedef size_t SIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef LONG HRESULT;
typedef WORD ATOM;
typedef WORD LANGID;
typedef DWORD COLORREF;
typedef wchar_t WCHAR;
typedef WCHAR* LPWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* PCWSTR;
typedef char CHAR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* PVOID;

#define TRUE 1
#define FALSE 0

// Handles are distinct pointer types, as with STRICT on Windows.
#define PORTABLE_DECLARE_HANDLE(name) \
  struct name##__ {                   \
    int unused;                       \
  };                                  \
  typedef struct name##__* name
PORTABLE_DECLARE_HANDLE(HWND);
PORTABLE_DECLARE_HANDLE(HINSTANCE);
PORTABLE_DECLARE_HANDLE(HICON);
PORTABLE_DECLARE_HANDLE(HBRUSH);
PORTABLE_DECLARE_HANDLE(HMENU);
PORTABLE_DECLARE_HANDLE(HMONITOR);
PORTABLE_DECLARE_HANDLE(HKEY);
PORTABLE_DECLARE_HANDLE(HRSRC);
PORTABLE_DECLARE_HANDLE(HRGN);
PORTABLE_DECLARE_HANDLE(HDC);
PORTABLE_DECLARE_HANDLE(HWINEVENTHOOK);
#undef PORTABLE_DECLARE_HANDLE
typedef HICON HCURSOR;
typedef HINSTANCE HMODULE;
typedef void* HANDLE;
typedef void* HGLOBAL;
typedef void* HLOCAL;
typedef void* HPOWERNOTIFY;

struct RECT {
  LONG left, top, right, bottom;
};
typedef RECT* LPRECT;
struct POINT {
  LONG x, y;
};
typedef POINT* LPPOINT;
union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;
typedef const IID& REFIID;
typedef const GUID& REFGUID;
typedef const GUID* LPCGUID;
inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xffff))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)(((WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)(((WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))
#define MAKEINTRESOURCEW(i) ((LPWSTR)(ULONG_PTR)(WORD)(i))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define PRIMARYLANGID(lgid) ((WORD)(lgid) & 0x3ff)
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

// HRESULT values and tests.
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_HANDLE ((HRESULT)0x80070006L)
#define HRESULT_FROM_WIN32(x) \
  ((HRESULT)(x) <= 0 ? ((HRESULT)(x)) : ((HRESULT)(((x) & 0x0000FFFF) | (7 << 16) | 0x80000000)))

// System error numbers (GetLastError, registry results).
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_UNSUPPORTED_TYPE 1630L
#define ERROR_TLW_WITH_WSCHILD 1406L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_RESOURCE_NOT_FOUND 1814L
#define ERROR_POPUP_ALREADY_ACTIVE 1446L
#define ERROR_TIMEOUT 1460L
#define ERROR_INVALID_HOOK_FILTER 1426L
#define ERROR_INVALID_FILTER_PROC 1427L
#define ERROR_HOOK_NEEDS_HMOD 1428L
#define RPC_S_INVALID_BINDING 1702L
