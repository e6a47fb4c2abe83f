// Portable shell: the notification area and the desktop wallpaper setting.
#pragma once

#include "layer_only.h"

#include "win32/win32_types.h"

#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002
#define NIM_SETVERSION 0x00000004
#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004
#define NIF_SHOWTIP 0x00000080
#define NOTIFYICON_VERSION_4 4
// Icon events of the newer versions, in the low word of the callback's lParam.
#define NIN_SELECT 0x0400  // WM_USER + 0
#define NINF_KEY 0x1
#define NIN_KEYSELECT (NIN_SELECT | NINF_KEY)

// The record has the Windows layout and size (976 bytes on 64-bit Windows with 16-bit
// characters); here its texts are wchar_t, so it is larger, but field for field the same.
struct NOTIFYICONDATAW {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  WCHAR szTip[128];
  DWORD dwState;
  DWORD dwStateMask;
  WCHAR szInfo[256];
  union {
    UINT uTimeout;
    UINT uVersion;
  };
  WCHAR szInfoTitle[64];
  DWORD dwInfoFlags;
  GUID guidItem;
  HICON hBalloonIcon;
};

BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data);

#define SPI_SETDESKWALLPAPER 0x0014
#define SPI_GETDESKWALLPAPER 0x0073
#define SPIF_UPDATEINIFILE 0x0001
#define SPIF_SENDCHANGE 0x0002
BOOL SystemParametersInfoW(UINT action, UINT param, PVOID data, UINT winIni);

// What the shell says about the user's attention. Settable by tests
// (PortableSetUserNotificationState); QUNS_ACCEPTS_NOTIFICATIONS until then.
enum QUERY_USER_NOTIFICATION_STATE {
  QUNS_NOT_PRESENT = 1,
  QUNS_BUSY = 2,
  QUNS_RUNNING_D3D_FULL_SCREEN = 3,
  QUNS_PRESENTATION_MODE = 4,
  QUNS_ACCEPTS_NOTIFICATIONS = 5,
  QUNS_QUIET_TIME = 6,
  QUNS_APP = 7,
};
HRESULT SHQueryUserNotificationState(QUERY_USER_NOTIFICATION_STATE* state);
