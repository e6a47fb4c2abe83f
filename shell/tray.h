// The notification-area icon, its hidden window and its menu of commands.
#pragma once

#include <cstdint>

#include "platform/win32.h"

inline constexpr UINT WM_TRAYNOTIFY = WM_APP + 1;

enum Command : int {
  CMD_QUIT = 1001,
  CMD_SCENE_TITLE = 1002,
  CMD_SCENE_MENU = 1003,
  CMD_MODE_FULLSCREEN = 1004,
  CMD_MODE_WINDOWED = 1005,
  CMD_MODE_WALLPAPER = 1006,
  CMD_TONE_ORIGINAL = 1007,
  CMD_TONE_BRIGHTENED = 1008,
  CMD_TONE_LIGHT = 1009,
  CMD_AUTOSTART = 1010,
  CMD_SPEED_FIRST = 2000,
  CMD_LANG_FIRST = 3000,
  CMD_FRAME_RATE_FIRST = 4000,  // + the index in FrameRates
};

bool AddTrayIcon();
LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ShowContextMenu(HWND owner);
void HandleCommand(int id);
// The tooltip in the language in force, on the icon if there is one.
void UpdateTrayTip();
