// The notification-area icon on its hidden window, and the menu that changes every setting
// at run time. The menu is built afresh at each opening, so its marks show the state now.
#include "shell/tray.h"

#include <cmath>
#include <cstring>
#include <cwchar>

#include "app/app_state.h"
#include "app/resources.h"
#include "app/startup.h"
#include "i18n/texts.h"
#include "shell/desktop.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "shell/system_notices.h"

namespace {

const size_t kTipCapacity = 128;
// A speed counts as its step when it lies this close to it.
const float kSpeedMarkTolerance = 0.005f;

// Labels that are the same in every language; the paused and normal steps are translated.
const wchar_t* const kSpeedLabels[kSpeedStepCount] = {
    nullptr, L"0.25×", L"0.5×", L"0.75×", nullptr, L"1.5×", L"2×", L"3×", L"5×"};
const wchar_t* const kLanguageNames[] = {nullptr, L"简体中文", L"English", L"日本語"};

void CopyTip() {
  const wchar_t* tip = GetText(TrayTip);
  size_t length = std::wcslen(tip);
  if (length > kTipCapacity - 1) length = kTipCapacity - 1;
  std::memcpy(gApp.trayIcon.szTip, tip, length * sizeof(WCHAR));
  gApp.trayIcon.szTip[length] = 0;
}

void AppendItem(HMENU menu, UINT id, const wchar_t* label, bool marked) {
  AppendMenuW(menu, MF_STRING | (marked ? MF_CHECKED : 0), id, label);
}

void AppendSeparator(HMENU menu) { AppendMenuW(menu, MF_SEPARATOR, 0, nullptr); }

HMENU BuildSpeedMenu() {
  HMENU menu = CreatePopupMenu();
  int nearest = NearestSpeedIndex();
  for (int i = 0; i < kSpeedStepCount; ++i) {
    const wchar_t* label = i == 0 ? GetText(SpeedPaused)
                           : i == 4 ? GetText(SpeedNormal)
                                    : kSpeedLabels[i];
    bool marked = i == nearest && std::fabs(SpeedSteps[i] - gApp.speed) < kSpeedMarkTolerance;
    AppendItem(menu, CMD_SPEED_FIRST + i, label, marked);
  }
  return menu;
}

HMENU BuildFrameRateMenu() {
  const TextId labels[kFrameRateCount] = {FrameRateEveryRefresh, FrameRate60, FrameRate30};
  HMENU menu = CreatePopupMenu();
  for (int i = 0; i < kFrameRateCount; ++i)
    AppendItem(menu, CMD_FRAME_RATE_FIRST + i, GetText(labels[i]), gApp.frameRate == FrameRates[i]);
  return menu;
}

HMENU BuildLanguageMenu() {
  HMENU menu = CreatePopupMenu();
  AppendItem(menu, CMD_LANG_FIRST + kLangAuto, GetText(LangAutoItem), gApp.lang == kLangAuto);
  for (LangId l = kLangChinese; l <= kLangJapanese; ++l)
    AppendItem(menu, CMD_LANG_FIRST + l, kLanguageNames[l], gApp.lang == l);
  return menu;
}

}  // namespace

bool AddTrayIcon() {
  std::memset(&gApp.trayIcon, 0, sizeof(gApp.trayIcon));
  gApp.trayIcon.cbSize = sizeof(NOTIFYICONDATAW);
  gApp.trayIcon.hWnd = gApp.trayWindow;
  gApp.trayIcon.uID = 1;
  // With version 4 the standard tooltip shows only when asked for.
  gApp.trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
  gApp.trayIcon.uCallbackMessage = WM_TRAYNOTIFY;
  gApp.trayIcon.hIcon = LoadIconW(gApp.instance, MAKEINTRESOURCEW(IconProgram));
  CopyTip();
  if (!Shell_NotifyIconW(NIM_ADD, &gApp.trayIcon)) return false;
  gApp.trayIcon.uVersion = NOTIFYICON_VERSION_4;
  Shell_NotifyIconW(NIM_SETVERSION, &gApp.trayIcon);
  return true;
}

// Whether an icon event opens the menu. Version 4 puts the icon's identifier in the high
// word and follows each click's button messages with an event of its own (NIN_SELECT for
// the left button, WM_CONTEXTMENU for the right one and the menu key, NIN_KEYSELECT for
// Enter), which alone opens the menu: opening on the button too would open it twice. The
// shell of an older version (one that refused version 4) sends the button messages only.
bool OpensMenu(LPARAM lParam) {
  UINT event = LOWORD(lParam);
  if (HIWORD(lParam) == gApp.trayIcon.uID)
    return event == NIN_SELECT || event == NIN_KEYSELECT || event == WM_CONTEXTMENU;
  return event == WM_LBUTTONUP || event == WM_RBUTTONUP || event == WM_CONTEXTMENU;
}

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TRAYNOTIFY) {
    if (OpensMenu(lParam)) ShowContextMenu(gApp.trayWindow);
    return 0;
  }
  // The tray window is top-level in every display mode, the wallpaper window is not.
  if (message == WM_DISPLAYCHANGE) {
    FitWindowToMonitor();
    gApp.refreshMonitor = nullptr;  // the refresh rate may have changed with the mode
    return 0;
  }
  if (message == WM_COMMAND) {
    HandleCommand(LOWORD(wParam));
    return 0;
  }
  // Another program asking this one to end (an installer, a task manager) closes the tray
  // window: that is the menu's Quit, not the loss of the icon.
  if (message == WM_CLOSE) {
    HandleCommand(CMD_QUIT);
    return 0;
  }
  // The session may end (log-off, shutdown, the Restart Manager replacing a file in use). It
  // may still be called off, so nothing changes yet.
  if (message == WM_QUERYENDSESSION) return TRUE;
  // Once this returns the process may be ended without another message, so the icon and the
  // desktop are put back now; the quit ends the program where the system waits for it to.
  if (message == WM_ENDSESSION) {
    if (wParam) {
      HandleCommand(CMD_QUIT);
      LeaveDesktop();
    }
    return 0;
  }
  // The tray window is the program's one receiver of the system's notifications.
  if (message == WM_WTSSESSION_CHANGE || message == WM_POWERBROADCAST)
    return HandleSystemNotice(message, wParam, lParam);
  // The notification area was created anew (the shell restarted): the icon is gone, and a
  // wallpaper window needs the new desktop.
  if (gApp.taskbarCreatedMessage != 0 && message == gApp.taskbarCreatedMessage) {
    AddTrayIcon();
    ReattachAfterShellStart();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void ShowContextMenu(HWND owner) {
  // Some keyboard paths deliver the icon's selection twice for one key press; the second
  // comes while the first menu is tracked, and one menu at a time is all there may be.
  if (gApp.menuOpen) return;
  HMENU menu = CreatePopupMenu();
  AppendItem(menu, CMD_SCENE_TITLE, GetText(SceneTitle), gApp.scene == kSceneTitle);
  AppendItem(menu, CMD_SCENE_MENU, GetText(SceneMainMenu), gApp.scene == kSceneMainMenu);
  AppendSeparator(menu);
  AppendMenuW(menu, MF_POPUP, (UINT_PTR)BuildSpeedMenu(), GetText(SpeedMenu));
  AppendMenuW(menu, MF_POPUP, (UINT_PTR)BuildFrameRateMenu(), GetText(FrameRateMenu));
  AppendSeparator(menu);
  AppendItem(menu, CMD_TONE_ORIGINAL, GetText(ToneOriginal), gApp.tone == kToneOriginal);
  AppendItem(menu, CMD_TONE_BRIGHTENED, GetText(ToneBrightened), gApp.tone == kToneBrightened);
  AppendItem(menu, CMD_TONE_LIGHT, GetText(ToneLight), gApp.tone == kToneLight);
  AppendSeparator(menu);
  AppendItem(menu, CMD_MODE_FULLSCREEN, GetText(ModeFullscreen),
             gApp.fullscreen && !gApp.wallpaperActive);
  AppendItem(menu, CMD_MODE_WINDOWED, GetText(ModeWindowed),
             !gApp.fullscreen && !gApp.wallpaperActive);
  AppendItem(menu, CMD_MODE_WALLPAPER, GetText(ModeWallpaper), gApp.wallpaperActive);
  AppendSeparator(menu);
  AppendMenuW(menu, MF_POPUP, (UINT_PTR)BuildLanguageMenu(), GetText(LanguageMenu));
  AppendItem(menu, CMD_AUTOSTART, GetText(StartWithWindows), IsAutostartEnabled());
  AppendSeparator(menu);
  AppendItem(menu, CMD_QUIT, GetText(QuitItem), false);

  POINT at = {0, 0};
  GetCursorPos(&at);
  SetForegroundWindow(owner);
  gApp.menuOpen = true;
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
  gApp.menuOpen = false;
  DestroyMenu(menu);
  // Lets the menu close properly when the owner is a hidden window.
  PostMessageW(owner, WM_NULL, 0, 0);
}

void HandleCommand(int id) {
  switch (id) {
    case CMD_QUIT:
      // Without a main window (the shell took the wallpaper window) there is no WM_DESTROY
      // to end the program.
      gApp.quitting = true;
      if (IsWindow(gApp.mainWindow))
        DestroyWindow(gApp.mainWindow);
      else
        PostQuitMessage(0);
      return;
    case CMD_SCENE_TITLE:
      SetScene(kSceneTitle);
      return;
    case CMD_SCENE_MENU:
      SetScene(kSceneMainMenu);
      return;
    case CMD_MODE_FULLSCREEN:
      SetDisplayMode(kModeFullscreen);
      return;
    case CMD_MODE_WINDOWED:
      SetDisplayMode(kModeWindowed);
      return;
    case CMD_MODE_WALLPAPER:
      SetDisplayMode(kModeWallpaper);
      return;
    case CMD_TONE_ORIGINAL:
      SetTone(kToneOriginal);
      return;
    case CMD_TONE_BRIGHTENED:
      SetTone(kToneBrightened);
      return;
    case CMD_TONE_LIGHT:
      SetTone(kToneLight);
      return;
    case CMD_AUTOSTART:
      ToggleAutostart();
      return;
    default:
      break;
  }
  if (id >= CMD_SPEED_FIRST && id < CMD_SPEED_FIRST + kSpeedStepCount)
    SetSpeed(SpeedSteps[id - CMD_SPEED_FIRST]);
  else if (id >= CMD_LANG_FIRST + kLangAuto && id <= CMD_LANG_FIRST + kLangJapanese)
    SetLanguage(id - CMD_LANG_FIRST);
  else if (id >= CMD_FRAME_RATE_FIRST && id < CMD_FRAME_RATE_FIRST + kFrameRateCount)
    SetFrameRate(FrameRates[id - CMD_FRAME_RATE_FIRST]);
}

void UpdateTrayTip() {
  if (!gApp.trayIcon.hWnd) return;
  CopyTip();
  Shell_NotifyIconW(NIM_MODIFY, &gApp.trayIcon);
}
