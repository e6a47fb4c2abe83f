// The user-visible texts, the choice of their language, and the error message box.
#include "i18n/texts.h"

#include <string_view>

#include "app/app_state.h"
#include "platform/win32.h"

namespace {

// The language menu's label is bilingual; English shows the very string of the Chinese table.
const wchar_t kLanguageMenuBilingual[] = L"语言 / Language";

// Three tables of TextCount entries, one after the other: Chinese, English, Japanese.
const wchar_t* const kTexts[] = {
    // Simplified Chinese
    L"Velmora 标题背景",
    L"%s\n错误代码: 0x%08X",
    L"无法创建交换链",
    L"无法创建 Direct3D 11 设备",
    L"着色器创建失败",
    L"贴图创建失败",
    L"无法创建窗口",
    L"暂停",
    L"1×（原速）",
    L"标题界面",
    L"主菜单",
    L"播放速度",
    L"色调：原版",
    L"色调：提亮（亮度 2×）",
    L"色调：浅色（白/亮灰底）",
    L"全屏",
    L"窗口",
    L"背景（桌面壁纸）",
    L"退出动态背景",
    kLanguageMenuBilingual,
    L"自动",
    L"随系统自动启动",
    L"Velmora 动态背景（右键：场景 / 速度 / 色调 / 显示模式 / 语言 / 退出）",
    L"帧率",
    L"跟随显示器刷新率",
    L"每秒 60 帧",
    L"每秒 30 帧",
    // English
    L"Velmora Title Background",
    L"%s\nError code: 0x%08X",
    L"Failed to create the swap chain",
    L"Failed to create the Direct3D 11 device",
    L"Failed to create the shaders",
    L"Failed to create the textures",
    L"Failed to create the window",
    L"Paused",
    L"1× (original)",
    L"Title screen",
    L"Main menu",
    L"Playback speed",
    L"Tone: Original",
    L"Tone: Brightened (2× brightness)",
    L"Tone: Light (white / light gray)",
    L"Fullscreen",
    L"Windowed",
    L"Wallpaper (desktop background)",
    L"Quit",
    kLanguageMenuBilingual,
    L"Auto",
    L"Start with Windows",
    L"Velmora live background (right-click: scene / speed / tone / display mode / language / quit)",
    L"Frame rate",
    L"Every display refresh",
    L"60 per second",
    L"30 per second",
    // Japanese
    L"Velmora タイトル背景",
    L"%s\nエラーコード: 0x%08X",
    L"スワップチェーンを作成できません",
    L"Direct3D 11 デバイスを作成できません",
    L"シェーダーの作成に失敗しました",
    L"テクスチャの作成に失敗しました",
    L"ウィンドウを作成できません",
    L"一時停止",
    L"1×（等速）",
    L"タイトル画面",
    L"メインメニュー",
    L"再生速度",
    L"色調：オリジナル",
    L"色調：明るめ（明るさ 2×）",
    L"色調：ライト（白／明るいグレー）",
    L"フルスクリーン",
    L"ウィンドウ",
    L"壁紙（デスクトップ背景）",
    L"終了",
    L"言語 / Language",
    L"自動",
    L"Windows 起動時に自動起動",
    L"Velmora 動く背景（右クリック：シーン / 速度 / 色調 / 表示モード / 言語 / 終了）",
    L"フレームレート",
    L"ディスプレイのリフレッシュレートに合わせる",
    L"毎秒 60 フレーム",
    L"毎秒 30 フレーム",
};
static_assert(sizeof(kTexts) / sizeof(kTexts[0]) == 3 * TextCount, "three whole tables");

const wchar_t kHexDigits[] = L"0123456789ABCDEF";

}  // namespace

TextLanguage ResolveTextLanguage() {
  if (gApp.lang >= kLangChinese && gApp.lang <= kLangJapanese) return (TextLanguage)(gApp.lang - 1);
  // Automatic: every Chinese variant, the traditional ones included, gets the Chinese texts.
  switch (PRIMARYLANGID(GetUserDefaultUILanguage())) {
    case LANG_CHINESE:
      return TextChinese;
    case LANG_JAPANESE:
      return TextJapanese;
    default:
      return TextEnglish;
  }
}

const wchar_t* GetText(TextId id) { return kTexts[(int)TextCount * ResolveTextLanguage() + id]; }

// The substitution is done here rather than by a wide printf, whose %s means a narrow string
// in C99 and a wide one in Microsoft's runtime.
std::wstring FormatErrorMessage(const wchar_t* text, uint32_t code) {
  const std::wstring_view textField = L"%s", codeField = L"0x%08X";
  std::wstring message;
  for (std::wstring_view rest = GetText(ErrorFormat); !rest.empty();) {
    if (rest.starts_with(textField)) {
      message += text;
      rest.remove_prefix(textField.size());
    } else if (rest.starts_with(codeField)) {
      message += L"0x";
      for (int shift = 28; shift >= 0; shift -= 4) message += kHexDigits[(code >> shift) & 0xF];
      rest.remove_prefix(codeField.size());
    } else {
      message += rest.front();
      rest.remove_prefix(1);
    }
  }
  // The message box's buffer holds 256 wide characters, the terminator included.
  if (message.size() > 255) message.resize(255);
  return message;
}

void ShowErrorBox(const wchar_t* text, uint32_t code) {
  std::wstring message = FormatErrorMessage(text, code);
  // Above every window: the fullscreen window is topmost, and an ordinary box would open
  // under it, out of sight.
  MessageBoxW(nullptr, message.c_str(), GetText(AppTitle),
              MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
}
