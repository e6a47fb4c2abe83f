// Start-up in its fixed order: the command line, the random start, the settings, then either
// the dump run or the running instance.
#include "app/startup.h"

#include <algorithm>
#include <cstdio>

#include "anim/anim_values.h"
#include "anim/phase_clock.h"
#include "app/app_state.h"
#include "app/command_line.h"
#include "app/frame_pacing.h"
#include "app/resources.h"
#include "app/seen_watch.h"
#include "render/device_recovery.h"
#include "render/frame_dump.h"
#include "render/renderer.h"
#include "shell/desktop.h"
#include "shell/main_window.h"
#include "shell/settings.h"
#include "shell/system_notices.h"
#include "shell/tray.h"
#include "shell/window_classes.h"

namespace {

const wchar_t* const kMutexName = L"VelmoraTitleLive.SingleInstance";
// A stall (a dragged window, a modal menu, a suspended machine) moves the animation by at
// most this many seconds times the speed.
const double kLongestStep = 0.25;

// Each setting comes from its option when given (used unchanged, without a range test),
// else from its stored value when that is in range, else from its default.
void ResolveSettings() {
  gApp.scene = gApp.sceneGiven ? gApp.optScene : (SceneId)ReadStoredSetting(kStoredScene);
  gApp.speed = gApp.speedGiven ? gApp.optSpeed : SpeedFromPercent(ReadStoredSetting(kStoredSpeed));
  gApp.tone = gApp.toneGiven ? gApp.optTone : (ToneId)ReadStoredSetting(kStoredTone);
  gApp.lang = gApp.langGiven ? gApp.optLang : (LangId)ReadStoredSetting(kStoredLang);
  gApp.frameRate = FrameRateFromStored(ReadStoredSetting(kStoredFrameRate));
}

void RegisterMainWindowClass() {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(WNDCLASSEXW);
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = gApp.instance;
  windowClass.hIcon = LoadIconW(gApp.instance, MAKEINTRESOURCEW(IconProgram));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kMainWindowClass;
  RegisterClassExW(&windowClass);
}

// The options first (the wallpaper wins over the window), then the stored mode.
DisplayMode ChooseDisplayMode() {
  if (gApp.optWallpaper) return kModeWallpaper;
  if (gApp.optWindow) return kModeWindowed;
  return (DisplayMode)ReadStoredSetting(kStoredMode);
}

// The hidden window that owns the tray icon, and the icon; true when the icon was added.
bool CreateTray() {
  gApp.taskbarCreatedMessage = RegisterWindowMessageW(L"TaskbarCreated");
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(WNDCLASSEXW);
  windowClass.lpfnWndProc = TrayWindowProc;
  windowClass.hInstance = gApp.instance;
  windowClass.lpszClassName = kTrayWindowClass;
  RegisterClassExW(&windowClass);
  gApp.trayWindow = CreateWindowExW(WS_EX_TOOLWINDOW, kTrayWindowClass, L"", WS_POPUP, 0, 0, 0,
                                    0, nullptr, nullptr, gApp.instance, nullptr);
  if (gApp.trayWindow) RegisterSystemNotices();
  return gApp.trayWindow && AddTrayIcon();
}

void WriteStartupLog(bool tray) {
  if (gApp.logPath.empty()) return;
  FILE* file = _wfopen(gApp.logPath.c_str(), L"w");
  if (!file) return;
  std::fprintf(file, "tray=%d full=%d wallpaper=%d scene=%d\n", tray ? 1 : 0,
               gApp.fullscreen ? 1 : 0, gApp.wallpaperActive ? 1 : 0, (int)gApp.scene);
  std::fclose(file);
}

}  // namespace

bool StartProgram(HINSTANCE instance, MainLoop* loop, int* exitCode) {
  gApp.instance = instance;
  ParseCommandLine();
  InitPhaseClocks(gApp.seedGiven, gApp.seed);
  ResolveSettings();

  if (!gApp.dumpPath.empty()) {
    // The dump run needs no lock, window or tray icon, so it may run beside an instance.
    if (!StartRenderer(true))
      *exitCode = ExitStartFailed;
    else
      *exitCode = DumpFrame() ? ExitNormal : ExitDumpFailed;
    return false;
  }

  // Only this call may leave ERROR_ALREADY_EXISTS behind.
  SetLastError(ERROR_SUCCESS);
  loop->mutex = CreateMutexW(nullptr, TRUE, kMutexName);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    *exitCode = ExitNormal;
    return false;
  }
  // Only the desktop's owner may put it back: not a dump run, not a second instance.
  RestoreDesktopLeftBehind();
  RegisterMainWindowClass();
  CreateMainWindow(ChooseDisplayMode());
  // A shell that ended during the attach took the wallpaper window along: the swap chain
  // comes with the window made anew.
  if (!StartRenderer(!gApp.mainWindow)) {
    *exitCode = ExitStartFailed;
    return false;
  }
  bool tray = CreateTray();
  StartSeenWatch();
  WriteStartupLog(tray);
  gApp.frameTimer = CreateFrameTimer();

  LARGE_INTEGER counter;
  QueryPerformanceFrequency(&counter);
  gApp.perfFrequency = counter.QuadPart;
  QueryPerformanceCounter(&counter);
  gApp.perfStart = counter.QuadPart;
  loop->previous = gApp.perfStart;
  loop->animationTime = 0.0;
  return true;
}

bool RunLoopPass(MainLoop* loop) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) return false;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  KeepWallpaperAttached();

  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  double elapsed = (double)(now.QuadPart - loop->previous) / (double)gApp.perfFrequency;
  // A wait the loop chose while nothing was seen is no stall: it counts in full.
  loop->animationTime += std::min(kLongestStep + gApp.chosenWait, elapsed) * (double)gApp.speed;
  gApp.chosenWait = 0.0;
  loop->shownTime = gApp.fixedTimeGiven ? (double)gApp.fixedTime : loop->animationTime;
  AnimValues values;
  ComputeAnimValues(loop->shownTime, &values);

  if (gApp.deviceLost) RecoverDevice(now.QuadPart);
  ShowFrame(values);
  loop->previous = now.QuadPart;
  return true;
}

void LeaveDesktop() {
  if (gApp.trayIcon.hWnd) Shell_NotifyIconW(NIM_DELETE, &gApp.trayIcon);
  gApp.trayIcon.hWnd = nullptr;
  if (gApp.wallpaperActive) RestoreDesktop();
  gApp.wallpaperActive = false;
}

int ExitProgram(MainLoop* loop) {
  LeaveDesktop();
  UnregisterSystemNotices();
  StopSeenWatch();
  if (gApp.trayWindow) DestroyWindow(gApp.trayWindow);
  if (gApp.frameTimer) CloseHandle(gApp.frameTimer);
  CloseHandle(loop->mutex);
  return ExitNormal;
}

int RunProgram(HINSTANCE instance) {
  MainLoop loop;
  int exitCode = ExitNormal;
  if (!StartProgram(instance, &loop, &exitCode)) return exitCode;
  while (RunLoopPass(&loop)) {
  }
  return ExitProgram(&loop);
}
