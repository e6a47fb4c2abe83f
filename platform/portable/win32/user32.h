// Portable desktop: monitors, window classes and windows, the thread's message queue,
// cursor, popup menus and message boxes, with the values and semantics of Win32.
#pragma once

#include "layer_only.h"

#include "win32/win32_types.h"

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef BOOL(CALLBACK* WNDENUMPROC)(HWND, LPARAM);

// Window messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETTEXT 0x000C
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUERYENDSESSION 0x0011
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_ENDSESSION 0x0016
#define WM_SHOWWINDOW 0x0018
#define WM_SETCURSOR 0x0020
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_CONTEXTMENU 0x007B
#define WM_DISPLAYCHANGE 0x007E
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCHAR 0x0106
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_APP 0x8000
#define WM_USER 0x0400

// Why the session ends (lParam of WM_QUERYENDSESSION and WM_ENDSESSION, a bit mask; 0 is a
// shutdown or restart).
#define ENDSESSION_CLOSEAPP 0x00000001
#define ENDSESSION_CRITICAL 0x40000000
#define ENDSESSION_LOGOFF 0x80000000

#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2

// Virtual keys.
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_UP 0x26
#define VK_DOWN 0x28
#define VK_F4 0x73
#define VK_F11 0x7A

// Window styles.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_MAXIMIZE 0x01000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_OVERLAPPEDWINDOW \
  (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)

#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_TRANSPARENT 0x00000020L
#define WS_EX_TOOLWINDOW 0x00000080L
#define WS_EX_LAYERED 0x00080000L
#define WS_EX_NOREDIRECTIONBITMAP 0x00200000L
#define WS_EX_NOACTIVATE 0x08000000L

#define LWA_COLORKEY 0x00000001
#define LWA_ALPHA 0x00000002

#define CS_DBLCLKS 0x0008
#define CW_USEDEFAULT ((int)0x80000000)

#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_RESTORE 9

#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)-1)
#define HWND_NOTOPMOST ((HWND)-2)
#define HWND_BROADCAST ((HWND)0xffff)

#define SC_CLOSE 0xF060

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define SMTO_NORMAL 0x0000

#define RDW_INVALIDATE 0x0001
#define RDW_ERASE 0x0004
#define RDW_ALLCHILDREN 0x0080
#define RDW_UPDATENOW 0x0100

#define MONITOR_DEFAULTTONULL 0x00000000
#define MONITOR_DEFAULTTOPRIMARY 0x00000001
#define MONITOR_DEFAULTTONEAREST 0x00000002
#define MONITORINFOF_PRIMARY 0x00000001

#define IDC_ARROW MAKEINTRESOURCEW(32512)

#define MB_OK 0x00000000L
#define MB_ICONERROR 0x00000010L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L
#define IDOK 1

// Waiting for messages.
#define QS_KEY 0x0001
#define QS_MOUSEMOVE 0x0002
#define QS_MOUSEBUTTON 0x0004
#define QS_POSTMESSAGE 0x0008
#define QS_TIMER 0x0010
#define QS_PAINT 0x0020
#define QS_SENDMESSAGE 0x0040
#define QS_HOTKEY 0x0080
#define QS_RAWINPUT 0x0400
#define QS_ALLINPUT 0x04FF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define INFINITE 0xFFFFFFFF
#define MAXIMUM_WAIT_OBJECTS 64

// Menus.
#define MF_STRING 0x00000000L
#define MF_CHECKED 0x00000008L
#define MF_POPUP 0x00000010L
#define MF_SEPARATOR 0x00000800L
#define TPM_RIGHTBUTTON 0x0002L
#define TPM_RETURNCMD 0x0100L

struct WNDCLASSEXW {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
  HICON hIconSm;
};

struct CREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

struct MONITORINFO {
  DWORD cbSize;
  RECT rcMonitor;
  RECT rcWork;
  DWORD dwFlags;
};
#define CCHDEVICENAME 32
#define CCHFORMNAME 32
// As the SDK declares it for C++: the extended record is the plain one and the device name.
struct MONITORINFOEXW : MONITORINFO {
  WCHAR szDevice[CCHDEVICENAME];
};

// A display mode: the SDK's fields in the SDK's order (with 4-byte wide characters), without
// the printer's half of the union that holds dmPosition.
struct POINTL {
  LONG x, y;
};
struct DEVMODEW {
  WCHAR dmDeviceName[CCHDEVICENAME];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  POINTL dmPosition;
  DWORD dmDisplayOrientation;
  DWORD dmDisplayFixedOutput;
  short dmColor;
  short dmDuplex;
  short dmYResolution;
  short dmTTOption;
  short dmCollate;
  WCHAR dmFormName[CCHFORMNAME];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  DWORD dmDisplayFlags;
  DWORD dmDisplayFrequency;
  DWORD dmICMMethod;
  DWORD dmICMIntent;
  DWORD dmMediaType;
  DWORD dmDitherType;
  DWORD dmReserved1;
  DWORD dmReserved2;
  DWORD dmPanningWidth;
  DWORD dmPanningHeight;
};
#define ENUM_CURRENT_SETTINGS ((DWORD)-1)
#define ENUM_REGISTRY_SETTINGS ((DWORD)-2)
#define DM_SPECVERSION 0x0401
#define DM_POSITION 0x00000020L
#define DM_BITSPERPEL 0x00040000L
#define DM_PELSWIDTH 0x00080000L
#define DM_PELSHEIGHT 0x00100000L
#define DM_DISPLAYFLAGS 0x00200000L
#define DM_DISPLAYFREQUENCY 0x00400000L

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass);
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu);
LONG_PTR GetWindowLongPtrW(HWND window, int index);
LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
// Layered windows (top-level or, from Windows 8 on, child windows with WS_EX_LAYERED): the
// attributes can be read back only after they were set, and clearing WS_EX_LAYERED
// forgets them, as on Windows.
BOOL SetLayeredWindowAttributes(HWND window, COLORREF key, BYTE alpha, DWORD flags);
BOOL GetLayeredWindowAttributes(HWND window, COLORREF* key, BYTE* alpha, DWORD* flags);
HWND SetParent(HWND child, HWND newParent);
HWND GetParent(HWND window);
BOOL ScreenToClient(HWND window, POINT* point);
BOOL SetWindowTextW(HWND window, LPCWSTR text);
int GetWindowTextW(HWND window, LPWSTR text, int maxCount);
BOOL SetForegroundWindow(HWND window);
HWND GetForegroundWindow();

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);
HWND FindWindowExW(HWND parent, HWND childAfter, LPCWSTR className, LPCWSTR windowName);
BOOL EnumWindows(WNDENUMPROC callback, LPARAM param);
BOOL RedrawWindow(HWND window, const RECT* updateRect, HRGN updateRegion, UINT flags);
// Painting. A visible window of the program is invalid after it is shown, restored or
// resized, or exposed (PortableExposeWindow); while it is, the queue hands out WM_PAINT for
// it whenever nothing else is waiting, until it is validated: by ValidateRect or by
// DefWindowProcW's handling of WM_PAINT. The whole window is one region.
BOOL ValidateRect(HWND window, const RECT* rect);

BOOL PeekMessageW(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage);
// Waits for the handles (waitable timers: the only objects here that can be waited on) or
// for new messages: what was in the queue when it was last looked at does not count, as on
// Windows. Returns WAIT_OBJECT_0 + i for the first signalled handle, WAIT_OBJECT_0 + count
// for a message, WAIT_TIMEOUT, or WAIT_FAILED: ERROR_INVALID_HANDLE for a handle of anything
// else, ERROR_INVALID_PARAMETER for more than MAXIMUM_WAIT_OBJECTS - 1 handles, and
// ERROR_NOT_SUPPORTED for waitAll, which is left out. A wake mask without QS_POSTMESSAGE,
// QS_PAINT and the input bits waits for the handles alone. The timeout runs in real time; a
// wait that may wait at all moves a frozen clock on to the handles' first due time instead.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                DWORD milliseconds, DWORD wakeMask);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageTimeoutW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeout, DWORD_PTR* result);
void PostQuitMessage(int exitCode);
UINT RegisterWindowMessageW(LPCWSTR name);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

HMONITOR MonitorFromPoint(POINT point, DWORD flags);
HMONITOR MonitorFromWindow(HWND window, DWORD flags);
HMONITOR MonitorFromRect(const RECT* rect, DWORD flags);
// cbSize is that of MONITORINFO or of MONITORINFOEXW; the extended record also gets the
// monitor's device name, "\\.\DISPLAY1" for the first monitor and so on.
BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info);
// The one mode of each monitor (the current, the registry's and mode 0 are the same): its
// position, size, 32 bits per pixel and refresh rate. No device name means the primary
// monitor's; an unknown name or any other mode number fails.
BOOL EnumDisplaySettingsW(LPCWSTR deviceName, DWORD modeNumber, DEVMODEW* mode);

HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
HCURSOR SetCursor(HCURSOR cursor);
BOOL GetCursorPos(POINT* point);

HMENU CreatePopupMenu();
BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR idNewItem, LPCWSTR newItem);
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND window,
                    const RECT* rect);
BOOL DestroyMenu(HMENU menu);

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Any window, whichever program owns it: the owner's thread and process (a process's first
// thread has the process's id here), the class name, the minimised state, the client
// origin and the ancestors. Windows have no owners here, so GA_ROOTOWNER is GA_ROOT.
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);
int GetClassNameW(HWND window, LPWSTR className, int maxCount);
BOOL IsIconic(HWND window);
BOOL ClientToScreen(HWND window, POINT* point);
#define GA_PARENT 1
#define GA_ROOT 2
#define GA_ROOTOWNER 3
HWND GetAncestor(HWND window, UINT flags);
// The virtual screen (the rectangle around every monitor) and the primary monitor's size;
// every other index gives 0, as an unknown one does on Windows.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_XVIRTUALSCREEN 76
#define SM_YVIRTUALSCREEN 77
#define SM_CXVIRTUALSCREEN 78
#define SM_CYVIRTUALSCREEN 79
int GetSystemMetrics(int index);

// Event hooks. Raised here: a window shown or hidden, minimised or restored, made the
// foreground window, cloaked or uncloaked, and moved or sized by a person (the system's
// move loop); each for its window (OBJID_WINDOW, CHILDID_SELF). An out-of-context hook's
// callback runs on the hooking thread when it next takes messages (PeekMessageW), and the
// event wakes a MsgWaitForMultipleObjects; WINEVENT_SKIPOWNPROCESS leaves out the events
// of the program's own windows. One process here, so in-context hooks are delivered the
// same way. Events still queued for a hook are dropped when it is unhooked.
#define EVENT_SYSTEM_FOREGROUND 0x0003
#define EVENT_SYSTEM_MOVESIZESTART 0x000A
#define EVENT_SYSTEM_MOVESIZEEND 0x000B
#define EVENT_SYSTEM_MINIMIZESTART 0x0016
#define EVENT_SYSTEM_MINIMIZEEND 0x0017
#define EVENT_OBJECT_SHOW 0x8002
#define EVENT_OBJECT_HIDE 0x8003
#define EVENT_OBJECT_CLOAKED 0x8017
#define EVENT_OBJECT_UNCLOAKED 0x8018
#define WINEVENT_OUTOFCONTEXT 0x0000
#define WINEVENT_SKIPOWNTHREAD 0x0001
#define WINEVENT_SKIPOWNPROCESS 0x0002
#define WINEVENT_INCONTEXT 0x0004
#define OBJID_WINDOW 0
#define CHILDID_SELF 0
typedef void(CALLBACK* WINEVENTPROC)(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object,
                                     LONG child, DWORD thread, DWORD milliseconds);
// Fails with ERROR_INVALID_FILTER_PROC without a callback, ERROR_INVALID_HOOK_FILTER when
// eventMin is above eventMax, ERROR_HOOK_NEEDS_HMOD for an in-context hook without a module.
HWINEVENTHOOK SetWinEventHook(DWORD eventMin, DWORD eventMax, HMODULE module, WINEVENTPROC proc,
                              DWORD idProcess, DWORD idThread, DWORD flags);
BOOL UnhookWinEvent(HWINEVENTHOOK hook);

// Session changes (wParam of WM_WTSSESSION_CHANGE; lParam is the session's id).
#define WM_WTSSESSION_CHANGE 0x02B1
#define WTS_CONSOLE_CONNECT 0x1
#define WTS_CONSOLE_DISCONNECT 0x2
#define WTS_REMOTE_CONNECT 0x3
#define WTS_REMOTE_DISCONNECT 0x4
#define WTS_SESSION_LOGON 0x5
#define WTS_SESSION_LOGOFF 0x6
#define WTS_SESSION_LOCK 0x7
#define WTS_SESSION_UNLOCK 0x8

// Power notifications to a window: WM_POWERBROADCAST, sent (as from the system's thread:
// handled when the window's thread next takes messages) to the registered window only.
// A setting's registration is answered at once with the setting's current value; then each
// change is sent. lParam of PBT_POWERSETTINGCHANGE points to the setting's record, whose
// Data holds DataLength bytes.
#define WM_POWERBROADCAST 0x0218
#define PBT_APMSUSPEND 0x0004
#define PBT_APMRESUMESUSPEND 0x0007
#define PBT_APMRESUMEAUTOMATIC 0x0012
#define PBT_POWERSETTINGCHANGE 0x8013
#define DEVICE_NOTIFY_WINDOW_HANDLE 0x00000000
#define DEVICE_NOTIFY_SERVICE_HANDLE 0x00000001
struct POWERBROADCAST_SETTING {
  GUID PowerSetting;
  DWORD DataLength;
  UCHAR Data[1];
};
// The settings this system knows, each a DWORD: the console display and the session's
// display (0 off, 1 on, 2 dimmed), battery saver (0 off, 1 on), energy saver (0 off,
// 1 standard, 2 high savings).
inline const GUID GUID_CONSOLE_DISPLAY_STATE = {
    0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
inline const GUID GUID_SESSION_DISPLAY_STATUS = {
    0x2b84c20e, 0xad23, 0x4ddf, {0x93, 0xdb, 0x05, 0xff, 0xbd, 0x7e, 0xfc, 0xa5}};
inline const GUID GUID_POWER_SAVING_STATUS = {
    0xe00958c0, 0xc213, 0x4ace, {0xac, 0x77, 0xfe, 0xcc, 0xed, 0x2e, 0xee, 0xa5}};
inline const GUID GUID_ENERGY_SAVER_STATUS = {
    0x550e8400, 0xe29b, 0x41d4, {0xa7, 0x16, 0x44, 0x66, 0x55, 0x44, 0x00, 0x00}};
// Fail with ERROR_INVALID_WINDOW_HANDLE for a window that does not exist and with
// ERROR_INVALID_PARAMETER for other flags than DEVICE_NOTIFY_WINDOW_HANDLE (there are no
// services here) or no setting; unregistering a handle that is not registered fails with
// ERROR_INVALID_HANDLE.
HPOWERNOTIFY RegisterPowerSettingNotification(HANDLE recipient, LPCGUID setting, DWORD flags);
BOOL UnregisterPowerSettingNotification(HPOWERNOTIFY notice);
HPOWERNOTIFY RegisterSuspendResumeNotification(HANDLE recipient, DWORD flags);
BOOL UnregisterSuspendResumeNotification(HPOWERNOTIFY notice);
