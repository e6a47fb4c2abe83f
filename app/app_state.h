// The one process-wide state record. Every Part reads and writes its fields by name.
#pragma once

#include <cstdint>
#include <string>

#include "anim/anim_values.h"
#include "anim/phase_clock.h"
#include "platform/win32.h"

// Identifiers that are also the stored registry values.
typedef int32_t SceneId;
typedef int32_t ToneId;
typedef int32_t LangId;
typedef int32_t DisplayMode;
inline constexpr SceneId kSceneTitle = 0, kSceneMainMenu = 1;
inline constexpr ToneId kToneOriginal = 0, kToneBrightened = 1, kToneLight = 2;
inline constexpr LangId kLangAuto = 0, kLangChinese = 1, kLangEnglish = 2, kLangJapanese = 3;
inline constexpr DisplayMode kModeFullscreen = 0, kModeWindowed = 1, kModeWallpaper = 2;

// What a presented frame was drawn from: a frame with the same inputs looks the same.
struct ShownFrame {
  AnimValues values;
  int32_t width;
  int32_t height;
  SceneId scene;
  ToneId tone;
};

struct AppState {
  // A. Command-line overrides: written only by the command-line parser.
  bool optWindow = false;
  bool optWallpaper = false;
  bool seedGiven = false;
  uint32_t seed = 0;
  bool speedGiven = false;
  float optSpeed = 1.0f;
  bool fixedTimeGiven = false;
  float fixedTime = 0.0f;
  bool sceneGiven = false;
  int32_t optScene = 0;
  bool langGiven = false;
  int32_t optLang = 0;
  bool toneGiven = false;
  int32_t optTone = 0;
  std::wstring logPath;
  std::wstring dumpPath;
  int32_t dumpWidth = 1920;
  int32_t dumpHeight = 1080;
  bool debugValuesGiven = false;
  AnimValues debugValues = {};

  // B. Current settings: resolved at start-up, changed by the setters.
  SceneId scene = 0;
  float speed = 1.0f;
  ToneId tone = 0;
  LangId lang = 0;
  int32_t frameRate = 0;  // frames per second, 0 for every display refresh

  // C. Display and shell.
  HINSTANCE instance = nullptr;
  HWND mainWindow = nullptr;
  bool fullscreen = false;
  bool wallpaperActive = false;
  bool recreatingWindow = false;
  int32_t renderWidth = 1280;
  int32_t renderHeight = 720;
  LONG_PTR savedWindowStyle = WS_OVERLAPPEDWINDOW;
  RECT savedWindowRect = {0, 0, 0, 0};
  std::wstring savedWallpaperPath;
  // Wallpaper mode without a desktop to attach to (no shell yet, or it ended): the window
  // waits hidden while the desktop is looked for once a second until the tick count
  // attachRetryUntil, a period that "TaskbarCreated" starts again.
  bool wallpaperWaiting = false;
  ULONGLONG nextAttachTry = 0;
  ULONGLONG attachRetryUntil = 0;
  // Set by a quit request (the quit command, a close request), so that the main window's
  // end is told apart from the shell taking the wallpaper window with it.
  bool quitting = false;
  HWND trayWindow = nullptr;
  uint32_t taskbarCreatedMessage = 0;
  NOTIFYICONDATAW trayIcon = {};
  bool menuOpen = false;  // a context menu is being tracked

  // D. Phase clocks: written once by InitPhaseClocks.
  PhaseClock rotationClock = {};
  PhaseClock nearClock = {};
  PhaseClock farClock = {};
  PhaseClock colourClock = {};
  PhaseClock menuClock = {};

  // E. Timing.
  int64_t perfFrequency = 0;
  int64_t perfStart = 0;

  // F. Renderer objects: counted references, null until the renderer creates them.
  ID3D11Device* device = nullptr;
  ID3D11DeviceContext* context = nullptr;
  IDXGISwapChain1* swapChain = nullptr;
  ID3D11RenderTargetView* renderTargetView = nullptr;
  ID3D11VertexShader* vertexShader = nullptr;
  ID3D11PixelShader* pixelShader = nullptr;
  ID3D11Buffer* constantBuffer = nullptr;
  ID3D11ShaderResourceView* wallView = nullptr;
  ID3D11ShaderResourceView* spotView = nullptr;
  ID3D11SamplerState* wallSampler = nullptr;
  ID3D11SamplerState* spotSampler = nullptr;

  // G. Frame pacing and device recovery.
  bool pictureCurrent = false;  // the window shows `picture`; cleared by whatever may have
                                // changed what it shows (resize, exposure, new swap chain)
  ShownFrame picture = {};
  bool occluded = false;        // the last present found the window hidden
  bool deviceLost = false;      // the renderer is gone after a removed or reset device
  int32_t rebuildsLeft = 3;     // renderer rebuilds allowed before a quiet minute
  int64_t lastRebuild = 0;      // performance counter at the last rebuild, 0 before any
  HANDLE frameTimer = nullptr;  // waitable timer that ends the wait for the next frame
  int64_t frameSlot = 0;        // performance counter at which the last frame was due
  HMONITOR refreshMonitor = nullptr;  // the monitor whose refresh rate is known, null for none
  float refreshRate = 0.0f;           // its dmDisplayFrequency

  // H. What the system reports to the tray window: whether anyone could see a frame now,
  // and whether the machine asks programs to save power.
  bool displayOff = false;           // the console display is off (dimmed counts as on)
  bool suspending = false;           // from a suspend notice until the resume
  bool sessionLocked = false;
  bool consoleDisconnected = false;  // the session is not on the console (remote, switched)
  bool powerSaving = false;          // battery saver or energy saver is on
  // What each display and saver reported last, and the registrations the tray window
  // undoes at exit.
  bool consoleDisplayOff = false;
  bool sessionDisplayOff = false;
  bool batterySaverOn = false;
  bool energySaverOn = false;
  bool sessionNoticesOn = false;
  HPOWERNOTIFY powerNotices[4] = {};  // the display's, the session display's, the savers'
  HPOWERNOTIFY suspendNotice = nullptr;

  // I. Whether anyone sees the picture: the watch over the windows above it.
  HWINEVENTHOOK winEventHooks[5] = {};
  bool seenCheckDue = false;       // an event or notice may have covered or uncovered it
  ULONGLONG nextSeenCheck = 0;     // tick count of the backstop re-check
  bool unseenFound = false;        // the checks have found it unseen...
  ULONGLONG unseenSince = 0;       // ...since this tick count
  bool unseenPaused = false;       // ...long enough: nothing is drawn until it is seen
  bool wakeFrameDue = false;       // after a resume, an unlock, a console connect or the
                                   // display coming on, one frame is drawn at once
  HWND seenForeground = nullptr;   // the foreground window and the area at the last check:
  RECT seenArea = {0, 0, 0, 0};    // a change of either is a reason to look again
  double chosenWait = 0.0;         // seconds the last pass chose to wait, not a stall
};

extern AppState gApp;

// Gives up one counted reference and clears the field that held it.
template <typename T>
void ReleaseObject(T*& object) {
  if (object) {
    object->Release();
    object = nullptr;
  }
}
