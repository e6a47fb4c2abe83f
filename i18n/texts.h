// The user-visible texts in Simplified Chinese, English and Japanese, and the error box.
#pragma once

#include <cstdint>
#include <string>

enum TextId : int {
  AppTitle = 0,
  ErrorFormat,
  ErrSwapChain,
  ErrDevice,
  ErrShaders,
  ErrTextures,
  ErrWindow,
  SpeedPaused,
  SpeedNormal,
  SceneTitle,
  SceneMainMenu,
  SpeedMenu,
  ToneOriginal,
  ToneBrightened,
  ToneLight,
  ModeFullscreen,
  ModeWindowed,
  ModeWallpaper,
  QuitItem,
  LanguageMenu,
  LangAutoItem,
  StartWithWindows,
  TrayTip,
  FrameRateMenu,
  FrameRateEveryRefresh,
  FrameRate60,
  FrameRate30,
  TextCount
};

enum TextLanguage : int { TextChinese = 0, TextEnglish = 1, TextJapanese = 2 };

TextLanguage ResolveTextLanguage();
const wchar_t* GetText(TextId id);
// The error box's message: the text and the code as "0x" and eight upper-case hex digits.
std::wstring FormatErrorMessage(const wchar_t* text, uint32_t code);
void ShowErrorBox(const wchar_t* text, uint32_t code);
