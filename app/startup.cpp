// Start-up in its fixed order: the command line, the random start, the settings, then either
// the dump run or the running instance.
#include "app/startup.h"

#include "anim/phase_clock.h"
#include "app/app_state.h"
#include "app/command_line.h"
#include "render/frame_dump.h"
#include "render/renderer.h"
#include "shell/settings.h"

namespace {

// Each setting comes from its option when given (used unchanged, without a range test),
// else from its stored value when that is in range, else from its default.
void ResolveSettings() {
  DWORD stored = 0;
  if (gApp.sceneGiven)
    gApp.scene = gApp.optScene;
  else
    gApp.scene = ReadStoredSetting(L"Scene", 1, &stored) ? (SceneId)stored : kSceneTitle;

  if (gApp.speedGiven)
    gApp.speed = gApp.optSpeed;
  else
    gApp.speed = ReadStoredSetting(L"Speed", 1000, &stored) ? (float)stored / 100.0f : 1.0f;

  if (gApp.toneGiven)
    gApp.tone = gApp.optTone;
  else
    gApp.tone = ReadStoredSetting(L"Tone", 2, &stored) ? (ToneId)stored : kToneOriginal;

  if (gApp.langGiven)
    gApp.lang = gApp.optLang;
  else
    gApp.lang = ReadStoredSetting(L"Lang", 3, &stored) ? (LangId)stored : kLangAuto;
}

// The single instance with its window, renderer, tray icon and main loop: not built yet, so
// a normal run ends at once.
int RunInstance() { return ExitNormal; }

}  // namespace

int RunProgram(HINSTANCE instance) {
  gApp.instance = instance;
  ParseCommandLine();
  InitPhaseClocks(gApp.seedGiven, gApp.seed);
  ResolveSettings();

  if (!gApp.dumpPath.empty()) {
    // The dump run needs no lock, window or tray icon, so it may run beside an instance.
    if (!StartRenderer(true)) return ExitStartFailed;
    return DumpFrame() ? ExitNormal : ExitDumpFailed;
  }
  return RunInstance();
}
