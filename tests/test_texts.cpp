// The three text tables, the choice of language, and the error box's message.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/app_state.h"
#include "i18n/texts.h"

namespace {

class Texts : public ::testing::Test {
 protected:
  void SetUp() override {
    gApp = AppState();
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) unsetenv(variable);
  }
  const wchar_t* TextIn(LangId lang, TextId id) {
    gApp.lang = lang;
    return GetText(id);
  }
};

// Written with escapes so that a source-encoding fault in the tables shows up here.
TEST_F(Texts, TablesHoldTheExactCharacters) {
  EXPECT_STREQ(TextIn(kLangChinese, AppTitle), L"Velmora \u6807\u9898\u80cc\u666f");
  EXPECT_STREQ(TextIn(kLangEnglish, AppTitle), L"Velmora Title Background");
  EXPECT_STREQ(TextIn(kLangJapanese, AppTitle), L"Velmora \u30bf\u30a4\u30c8\u30eb\u80cc\u666f");
  EXPECT_STREQ(TextIn(kLangChinese, ErrorFormat), L"%s\n\u9519\u8bef\u4ee3\u7801: 0x%08X");
  EXPECT_STREQ(TextIn(kLangEnglish, SpeedNormal), L"1\u00d7 (original)");
  EXPECT_STREQ(TextIn(kLangChinese, SpeedNormal), L"1\u00d7\uff08\u539f\u901f\uff09");
  EXPECT_STREQ(TextIn(kLangJapanese, ToneLight),
               L"\u8272\u8abf\uff1a\u30e9\u30a4\u30c8\uff08\u767d\uff0f\u660e\u308b\u3044"
               L"\u30b0\u30ec\u30fc\uff09");
  EXPECT_STREQ(TextIn(kLangChinese, ToneLight),
               L"\u8272\u8c03\uff1a\u6d45\u8272\uff08\u767d/\u4eae\u7070\u5e95\uff09");
  EXPECT_STREQ(TextIn(kLangEnglish, TrayTip),
               L"Velmora live background (right-click: scene / speed / tone / display mode / "
               L"language / quit)");
  EXPECT_STREQ(TextIn(kLangJapanese, StartWithWindows),
               L"Windows \u8d77\u52d5\u6642\u306b\u81ea\u52d5\u8d77\u52d5");
  EXPECT_STREQ(TextIn(kLangEnglish, QuitItem), L"Quit");
  EXPECT_STREQ(TextIn(kLangChinese, QuitItem), L"\u9000\u51fa\u52a8\u6001\u80cc\u666f");
  // English shows the Chinese bilingual title of the language menu; Japanese has its own.
  EXPECT_STREQ(TextIn(kLangEnglish, LanguageMenu), L"\u8bed\u8a00 / Language");
  EXPECT_STREQ(TextIn(kLangJapanese, LanguageMenu), L"\u8a00\u8a9e / Language");

  // Every text exists; the tray tip fits the notification record's 128 characters.
  for (LangId lang : {kLangChinese, kLangEnglish, kLangJapanese}) {
    for (int id = 0; id < TextCount; ++id) {
      ASSERT_NE(TextIn(lang, (TextId)id), nullptr);
      EXPECT_GT(std::wcslen(TextIn(lang, (TextId)id)), 0u) << "lang " << lang << " id " << id;
    }
    EXPECT_LT(std::wcslen(TextIn(lang, TrayTip)), 128u);
  }
}

TEST_F(Texts, AutomaticLanguageFollowsTheUserInterfaceLanguage) {
  const struct {
    const char* locale;
    TextLanguage expected;
  } cases[] = {{"zh_TW.UTF-8", TextChinese}, {"ja_JP.UTF-8", TextJapanese},
               {"ko_KR.UTF-8", TextEnglish}};
  gApp.lang = kLangAuto;
  for (const auto& c : cases) {
    setenv("LANG", c.locale, 1);
    EXPECT_EQ(ResolveTextLanguage(), c.expected) << c.locale;
  }
  unsetenv("LANG");
  EXPECT_EQ(ResolveTextLanguage(), TextEnglish);

  // A chosen language wins over the system's, and is looked up afresh on every call.
  setenv("LANG", "ja_JP.UTF-8", 1);
  gApp.lang = kLangChinese;
  EXPECT_EQ(ResolveTextLanguage(), TextChinese);
  gApp.lang = kLangEnglish;
  EXPECT_EQ(ResolveTextLanguage(), TextEnglish);
  EXPECT_STREQ(GetText(SceneTitle), L"Title screen");
  gApp.lang = kLangAuto;
  EXPECT_STREQ(GetText(SceneTitle), L"\u30bf\u30a4\u30c8\u30eb\u753b\u9762");
  // A value no menu stores falls back to the automatic choice rather than off the table.
  gApp.lang = 7;
  EXPECT_EQ(ResolveTextLanguage(), TextJapanese);
}

TEST_F(Texts, ErrorMessageCarriesTheTextAndEightHexDigits) {
  gApp.lang = kLangEnglish;
  EXPECT_EQ(FormatErrorMessage(GetText(ErrDevice), 0x887A0004u),
            L"Failed to create the Direct3D 11 device\nError code: 0x887A0004");
  EXPECT_EQ(FormatErrorMessage(L"x", 5), L"x\nError code: 0x00000005");
  EXPECT_EQ(FormatErrorMessage(L"x", (uint32_t)(int32_t)-2147467259), L"x\nError code: 0x80004005");
  EXPECT_EQ(FormatErrorMessage(L"x", 0xabcdef01u), L"x\nError code: 0xABCDEF01");

  // The text is copied as it is, even when it looks like a format.
  EXPECT_EQ(FormatErrorMessage(L"%s 0x%08X %d", 0), L"%s 0x%08X %d\nError code: 0x00000000");

  gApp.lang = kLangChinese;
  EXPECT_EQ(FormatErrorMessage(GetText(ErrShaders), 1),
            L"\u7740\u8272\u5668\u521b\u5efa\u5931\u8d25\n\u9519\u8bef\u4ee3\u7801: 0x00000001");
  gApp.lang = kLangJapanese;
  EXPECT_EQ(FormatErrorMessage(L"t", 0x10), L"t\n\u30a8\u30e9\u30fc\u30b3\u30fc\u30c9: 0x00000010");

  // The box holds 255 characters and a terminator.
  gApp.lang = kLangEnglish;
  std::wstring message = FormatErrorMessage(std::wstring(300, L'a').c_str(), 5);
  EXPECT_EQ(message, std::wstring(255, L'a'));
}

TEST_F(Texts, ErrorBoxShowsTheMessageUnderTheTitle) {
  // The renderer tests see the English box; here the title and message go out as UTF-8.
  gApp.lang = kLangJapanese;
  ::testing::internal::CaptureStderr();
  ShowErrorBox(GetText(ErrTextures), 0x80004005u);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Velmora \xe3\x82\xbf\xe3\x82\xa4\xe3\x83\x88\xe3\x83\xab\xe8\x83\x8c\xe6\x99\xaf: "
            "\xe3\x83\x86\xe3\x82\xaf\xe3\x82\xb9\xe3\x83\x81\xe3\x83\xa3\xe3\x81\xae\xe4\xbd\x9c"
            "\xe6\x88\x90\xe3\x81\xab\xe5\xa4\xb1\xe6\x95\x97\xe3\x81\x97\xe3\x81\xbe\xe3\x81\x97"
            "\xe3\x81\x9f\n\xe3\x82\xa8\xe3\x83\xa9\xe3\x83\xbc\xe3\x82\xb3\xe3\x83\xbc\xe3\x83\x89"
            ": 0x80004005\n");
}

}  // namespace
