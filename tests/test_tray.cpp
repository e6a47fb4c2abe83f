// The tray icon and its menu: the record, the events that open the menu, the items with
// their identifiers and marks, the commands, the language switch and the taskbar restart.
#include "app/app_state.h"
#include "i18n/texts.h"
#include "shell/tray.h"
#include "tests/program_driver.h"

namespace {

class Tray : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    PortableSetMonitors({kSmallMonitor});
  }
  // Opens the menu without choosing and returns it as tracked.
  const PortableTrackedMenu& OpenMenu() {
    size_t before = PortableTrackedMenus().size();
    UseTray(PortableTrayInput::RightClick);
    EXPECT_EQ(PortableTrackedMenus().size(), before + 1);
    return PortableTrackedMenus().back();
  }
  static std::vector<UINT> Marked(const std::vector<PortableMenuItem>& items) {
    std::vector<UINT> ids;
    for (const PortableMenuItem& item : items) {
      if (item.flags & MF_CHECKED) ids.push_back(item.id);
      for (UINT id : Marked(item.submenu)) ids.push_back(id);
    }
    return ids;
  }
  std::wstring RunValue() { return StoredText(kRunKey, kRunValue); }
};

TEST_F(Tray, IconRecordIsFilledAndVersioned) {
  ASSERT_TRUE(Start({"--lang", "en"}));
  ASSERT_EQ(PortableTrayIcons().size(), 1u);
  const NOTIFYICONDATAW& icon = PortableTrayIcons()[0];
  EXPECT_EQ(icon.hWnd, gApp.trayWindow);
  EXPECT_EQ(icon.uID, 1u);
  EXPECT_EQ(icon.uFlags, (UINT)(NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP));
  EXPECT_EQ(icon.uCallbackMessage, 0x8001u);
  EXPECT_EQ(icon.hIcon, LoadIconW(gApp.instance, MAKEINTRESOURCEW(1)));
  EXPECT_NE(icon.hIcon, nullptr);
  EXPECT_EQ(icon.uVersion, (UINT)NOTIFYICON_VERSION_4);
  EXPECT_STREQ(icon.szTip, GetText(TrayTip));
  EXPECT_TRUE(PortableTrayTipShown(gApp.trayWindow, 1));
  SetLanguage(kLangChinese);
  EXPECT_TRUE(PortableTrayTipShown(gApp.trayWindow, 1));
  // The tray window is a hidden tool window of its own class.
  EXPECT_FALSE(IsWindowVisible(gApp.trayWindow));
  EXPECT_EQ(GetWindowLongPtrW(gApp.trayWindow, GWL_EXSTYLE), WS_EX_TOOLWINDOW);
  EXPECT_EQ(FindWindowW(L"VelmoraTitleLiveTray", nullptr), gApp.trayWindow);
}

TEST_F(Tray, MenuHasEveryItemInOrderWithItsIdentifier) {
  ASSERT_TRUE(Start({"--lang", "en", "--window"}));
  PortableSetCursorPos({12, 34});
  const PortableTrackedMenu& menu = OpenMenu();
  EXPECT_EQ(menu.owner, gApp.trayWindow);
  EXPECT_EQ(menu.flags, (UINT)TPM_RIGHTBUTTON);
  EXPECT_EQ(menu.at.x, 12);
  EXPECT_EQ(menu.at.y, 34);
  EXPECT_EQ(GetForegroundWindow(), gApp.trayWindow);
  EXPECT_EQ(PortableLiveMenuCount(), 0);

  struct Expected {
    UINT id;
    const wchar_t* text;
  };
  const Expected top[] = {{1002, L"Title screen"},
                          {1003, L"Main menu"},
                          {0, nullptr},
                          {0, L"Playback speed"},
                          {0, L"Frame rate"},
                          {0, nullptr},
                          {1007, L"Tone: Original"},
                          {1008, L"Tone: Brightened (2× brightness)"},
                          {1009, L"Tone: Light (white / light gray)"},
                          {0, nullptr},
                          {1004, L"Fullscreen"},
                          {1005, L"Windowed"},
                          {1006, L"Wallpaper (desktop background)"},
                          {0, nullptr},
                          {0, L"语言 / Language"},
                          {1010, L"Start with Windows"},
                          {0, nullptr},
                          {1001, L"Quit"}};
  ASSERT_EQ(menu.items.size(), std::size(top));
  for (size_t i = 0; i < std::size(top); ++i) {
    SCOPED_TRACE(i);
    const PortableMenuItem& item = menu.items[i];
    if (!top[i].text) {
      EXPECT_EQ(item.flags, (UINT)MF_SEPARATOR);
      continue;
    }
    EXPECT_EQ(item.text, top[i].text);
    EXPECT_EQ(item.id, top[i].id);
    EXPECT_EQ((item.flags & MF_POPUP) != 0, top[i].id == 0);
  }
  const wchar_t* speeds[] = {L"Paused", L"0.25×", L"0.5×", L"0.75×", L"1× (original)",
                             L"1.5×",   L"2×",    L"3×",   L"5×"};
  ASSERT_EQ(menu.items[3].submenu.size(), 9u);
  for (UINT i = 0; i < 9; ++i) {
    EXPECT_EQ(menu.items[3].submenu[i].text, speeds[i]);
    EXPECT_EQ(menu.items[3].submenu[i].id, 2000 + i);
  }
  const wchar_t* rates[] = {L"Every display refresh", L"60 per second", L"30 per second"};
  ASSERT_EQ(menu.items[4].submenu.size(), 3u);
  for (UINT i = 0; i < 3; ++i) {
    EXPECT_EQ(menu.items[4].submenu[i].text, rates[i]);
    EXPECT_EQ(menu.items[4].submenu[i].id, 4000 + i);
  }
  const wchar_t* languages[] = {L"Auto", L"简体中文", L"English", L"日本語"};
  ASSERT_EQ(menu.items[14].submenu.size(), 4u);
  for (UINT i = 0; i < 4; ++i) {
    EXPECT_EQ(menu.items[14].submenu[i].text, languages[i]);
    EXPECT_EQ(menu.items[14].submenu[i].id, 3000 + i);
  }
  // Title screen, 1x, every display refresh, original tone, windowed, English.
  EXPECT_EQ(Marked(menu.items), (std::vector<UINT>{1002, 2004, 4000, 1007, 1005, 3002}));
}

// Every click and key on the icon opens exactly one menu, as the notification area sends
// it with version 4 and, should the shell have refused that version, with version 0.
TEST_F(Tray, EachClickAndKeyOpensTheMenuOnceOtherEventsDoNot) {
  ASSERT_TRUE(Start());
  for (UINT event : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_LBUTTONDBLCLK})
    TrayEvent(event);
  EXPECT_TRUE(PortableTrackedMenus().empty());
  const PortableTrayInput inputs[] = {PortableTrayInput::LeftClick, PortableTrayInput::RightClick,
                                      PortableTrayInput::EnterKey, PortableTrayInput::MenuKey};
  for (int version : {NOTIFYICON_VERSION_4, 0}) {
    NOTIFYICONDATAW record = gApp.trayIcon;
    record.uVersion = (UINT)version;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_SETVERSION, &record));
    for (PortableTrayInput input : inputs) {
      SCOPED_TRACE(testing::Message() << "version " << version << ", input " << (int)input);
      size_t before = PortableTrackedMenus().size();
      UseTray(input);
      EXPECT_EQ(PortableTrackedMenus().size(), before + 1);
      EXPECT_EQ(PortableRefusedMenuCount(), 0);
    }
  }
}

// Some keyboard paths deliver the icon's selection twice for one key press: the second
// arrives while the first menu is open, and no second menu is asked for.
TEST_F(Tray, ASelectionRepeatedWhileTheMenuIsOpenIsIgnored) {
  ASSERT_TRUE(Start());
  for (int i = 0; i < 2; ++i)
    PostMessageW(gApp.trayWindow, WM_TRAYNOTIFY, 0, MAKELPARAM(NIN_KEYSELECT, 1));
  Deliver();
  EXPECT_EQ(PortableTrackedMenus().size(), 1u);
  EXPECT_EQ(PortableRefusedMenuCount(), 0);
  EXPECT_EQ(PortableLiveMenuCount(), 0);
  UseTray(PortableTrayInput::EnterKey);
  EXPECT_EQ(PortableTrackedMenus().size(), 2u);
}

TEST_F(Tray, SpeedMarkFollowsTheNearestStepOnlyWhenClose) {
  ASSERT_TRUE(Start({"--speed", "1.2"}));
  EXPECT_EQ(Marked(OpenMenu().items[3].submenu), std::vector<UINT>{});
  gApp.speed = 1.004f;
  EXPECT_EQ(Marked(OpenMenu().items[3].submenu), std::vector<UINT>{2004});
  ChooseFromTray(2005);
  EXPECT_EQ(gApp.speed, 1.5f);
  EXPECT_EQ(Stored(L"Speed"), 150);
  EXPECT_EQ(Marked(OpenMenu().items[3].submenu), std::vector<UINT>{2005});
  ChooseFromTray(2003);
  EXPECT_EQ(Stored(L"Speed"), 75);
  ChooseFromTray(2000);
  EXPECT_EQ(gApp.speed, 0.0f);
  EXPECT_EQ(Stored(L"Speed"), 0);
}

TEST_F(Tray, FrameRateItemsStoreTheRateAndMarkIt) {
  ASSERT_TRUE(Start());
  const struct {
    UINT id;
    int32_t rate;
  } choices[] = {{4002, 30}, {4001, 60}, {4000, 0}, {4000, 0}};
  for (const auto& c : choices) {
    ChooseFromTray(c.id);
    EXPECT_EQ(gApp.frameRate, c.rate) << c.id;
    EXPECT_EQ(Stored(L"FrameRate"), c.rate) << c.id;
    EXPECT_EQ(Marked(OpenMenu().items[4].submenu), std::vector<UINT>{c.id});
  }
}

TEST_F(Tray, CommandsWriteTheirValueEvenWhenUnchanged) {
  ASSERT_TRUE(Start());
  ChooseFromTray(CMD_SCENE_TITLE);
  EXPECT_EQ(Stored(L"Scene"), 0);
  ChooseFromTray(CMD_TONE_ORIGINAL);
  EXPECT_EQ(Stored(L"Tone"), 0);
  ChooseFromTray(CMD_SCENE_MENU);
  EXPECT_EQ(gApp.scene, 1);
  ChooseFromTray(CMD_TONE_LIGHT);
  EXPECT_EQ(Stored(L"Tone"), 2);
  // The current display mode is neither rebuilt nor written.
  HWND window = gApp.mainWindow;
  ChooseFromTray(CMD_MODE_FULLSCREEN);
  EXPECT_EQ(gApp.mainWindow, window);
  EXPECT_EQ(Stored(L"Mode"), -1);
  ChooseFromTray(CMD_MODE_WALLPAPER);
  EXPECT_TRUE(gApp.wallpaperActive);
  EXPECT_EQ(Stored(L"Mode"), 2);
  EXPECT_EQ(Marked(OpenMenu().items), (std::vector<UINT>{1003, 2004, 4000, 1009, 1006, 3000}));
  // An unknown identifier does nothing.
  HandleCommand(4242);
  EXPECT_EQ(gApp.scene, 1);
}

TEST_F(Tray, LanguageChangeRetitlesWindowAndTooltipAndTheNextMenu) {
  ASSERT_TRUE(Start({"--lang", "en", "--window"}));
  ChooseFromTray(CMD_LANG_FIRST + kLangJapanese);
  EXPECT_EQ(gApp.lang, 3);
  EXPECT_EQ(Stored(L"Lang"), 3);
  wchar_t title[64];
  GetWindowTextW(gApp.mainWindow, title, 64);
  EXPECT_STREQ(title, L"Velmora タイトル背景");
  EXPECT_STREQ(PortableTrayIcons()[0].szTip,
               L"Velmora 動く背景（右クリック：シーン / 速度 / 色調 / 表示モード / 言語 / 終了）");
  const PortableTrackedMenu& menu = OpenMenu();
  EXPECT_EQ(menu.items[0].text, L"タイトル画面");
  EXPECT_EQ(menu.items[14].submenu[2].text, L"English");
  // The window made after a mode change carries the language in force.
  ChooseFromTray(CMD_MODE_FULLSCREEN);
  GetWindowTextW(gApp.mainWindow, title, 64);
  EXPECT_STREQ(title, L"Velmora タイトル背景");
  ChooseFromTray(CMD_LANG_FIRST + kLangChinese);
  GetWindowTextW(gApp.mainWindow, title, 64);
  EXPECT_STREQ(title, L"Velmora 标题背景");
}

// How the stored entry is compared is the settings tests' concern; here the mark follows it.
TEST_F(Tray, AutostartItemTogglesTheEntryAndIsMarkedWhileItIsOn) {
  ASSERT_TRUE(Start());
  auto marked = [&] { return OpenMenu().items[15].flags & MF_CHECKED; };
  EXPECT_FALSE(marked());
  ChooseFromTray(CMD_AUTOSTART);
  EXPECT_EQ(RunValue(), AutostartCommand());
  EXPECT_TRUE(marked());
  ChooseFromTray(CMD_AUTOSTART);
  EXPECT_EQ(RunValue(), L"<none>");
  EXPECT_FALSE(marked());
}

TEST_F(Tray, ARefusedIconLeavesTheProgramRunningAndALaterTaskbarTriesAgain) {
  PortableSetTrayFailing(true);
  std::string log = scratch_ / "start.log";
  ASSERT_TRUE(Start({"--log", log}));
  EXPECT_EQ(ReadFile(log), "tray=0 full=1 wallpaper=0 scene=0\n");
  EXPECT_TRUE(PortableTrayIcons().empty());
  EXPECT_EQ(gApp.trayIcon.hWnd, gApp.trayWindow);
  SetLanguage(kLangJapanese);  // its NIM_MODIFY fails quietly
  PortableSetTrayFailing(false);
  PortableRestartTaskbar();
  Pass();
  ASSERT_EQ(PortableTrayIcons().size(), 1u);
  EXPECT_STREQ(PortableTrayIcons()[0].szTip, gApp.trayIcon.szTip);
  EXPECT_EQ(PortableTrayIcons()[0].uVersion, (UINT)NOTIFYICON_VERSION_4);
  EXPECT_EQ(PortableTrayIcons()[0].hWnd, gApp.trayWindow);

  // A taskbar made anew while the icon was shown gets it back as well.
  PortableRestartTaskbar();
  EXPECT_TRUE(PortableTrayIcons().empty());
  Pass();
  EXPECT_EQ(PortableTrayIcons().size(), 1u);
}

}  // namespace
