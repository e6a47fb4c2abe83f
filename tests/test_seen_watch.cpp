// What covers the picture on the portable desktop, and what the main loop does about it:
// which windows of other programs count, where the walk ends, the half second before a
// pause, the wait while paused, and the resume on an event or the backstop check.
#include <functional>

#include "app/app_state.h"
#include "tests/seen_driver.h"

namespace {

using SeenWatch = SeenTest;

// Every kind of window that shows nothing over the picture is left out; the others count.
TEST_F(SeenWatch, WindowsThatShowNothingDoNotCover) {
  ASSERT_TRUE(Start({"--wallpaper"}));
  const RECT all = kSmallMonitor;
  const struct {
    const char* what;
    std::function<HWND()> make;
    SeenVerdict expected;
  } cases[] = {
      {"an ordinary window", [&] { return Other(all); }, UnseenCovered},
      {"a hidden one", [&] { return Other(all, 0, L"OtherApp", WS_POPUP); }, Seen},
      {"a minimised one", [&] { HWND w = Other(all); ShowWindow(w, SW_MINIMIZE); return w; }, Seen},
      {"a cloaked one", [&] { HWND w = Other(all); PortableCloakWindow(w, DWM_CLOAKED_SHELL); return w; }, Seen},
      {"a cloaked one, the compositor not answering",
       [&] { HWND w = Other(all); PortableCloakWindow(w, DWM_CLOAKED_APP); PortableFailDwm(E_INVALIDARG); return w; },
       UnseenCovered},
      {"a click-through one", [&] { return Other(all, WS_EX_TRANSPARENT); }, Seen},
      {"a layered one at alpha 254",
       [&] { HWND w = Other(all, WS_EX_LAYERED); SetLayeredWindowAttributes(w, 0, 254, LWA_ALPHA); return w; }, Seen},
      {"a layered one at alpha 255",
       [&] { HWND w = Other(all, WS_EX_LAYERED); SetLayeredWindowAttributes(w, 0, 255, LWA_ALPHA); return w; },
       UnseenCovered},
      {"a layered one with a colour key",
       [&] { HWND w = Other(all, WS_EX_LAYERED); SetLayeredWindowAttributes(w, 0, 255, LWA_COLORKEY); return w; }, Seen},
      {"a layered one whose attributes cannot be read", [&] { return Other(all, WS_EX_LAYERED); }, Seen},
      {"the program's own", [&] {
         return CreateWindowExW(0, L"VelmoraTitleLiveTray", L"", WS_POPUP | WS_VISIBLE, 0, 0, 320,
                                180, nullptr, nullptr, gApp.instance, nullptr);
       }, Seen},
      {"one below the desktop", [&] {
         HWND w = Other(all);
         SetWindowPos(w, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
         return w;
       }, Seen},
  };
  for (const auto& c : cases) {
    HWND window = c.make();
    EXPECT_EQ(Verdict(), c.expected) << c.what;
    DestroyWindow(window);
    PortableFailDwm(S_OK);
  }
  for (const wchar_t* overlay : {L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd", L"NotifyIconOverflowWindow",
                                 L"Windows.UI.Core.CoreWindow", L"MultitaskingViewFrame",
                                 L"XamlExplorerHostIslandWindow"}) {
    HWND window = Other(all, WS_EX_TOPMOST, overlay);
    EXPECT_EQ(Verdict(), Seen) << PortableUtf8(overlay);
    DestroyWindow(window);
  }
}

// The walk ends at the picture: the window itself, or the desktop's layer under the
// wallpaper in either shell layout; Win+D brings that layer above the ordinary windows.
TEST_F(SeenWatch, TheWalkEndsAtThePicture) {
  for (PortableShellLayout layout : {PortableShellLayout::Classic, PortableShellLayout::Nested}) {
    PortableResetDesktop(layout);
    PortableSetMonitors({kSmallMonitor});
    ASSERT_TRUE(Start({"--wallpaper"}));
    HWND left = Other({0, 0, 160, 180}), right = Other({160, 0, 320, 180});
    EXPECT_EQ(Verdict(), UnseenCovered) << "two halves";
    PortableShowDesktop();
    EXPECT_EQ(Verdict(), Seen) << "show-desktop";
    HWND topmost = Other({0, 0, 320, 180}, WS_EX_TOPMOST);
    EXPECT_EQ(Verdict(), UnseenCovered) << "a topmost window stays above the desktop";
    for (HWND w : {left, right, topmost}) DestroyWindow(w);
    ExitProgram(&loop_);
    ReleaseRenderer();
    gApp = AppState{};
  }
  // Windowed: what lies below the window does not count, what lies above does, and only the
  // part of the window on the screen is measured.
  ASSERT_TRUE(Start({"--window"}));
  SetWindowPos(gApp.mainWindow, nullptr, -160, 0, 336, 219, SWP_NOZORDER);
  HWND below = Other({0, 0, 320, 180});
  SetWindowPos(below, gApp.mainWindow, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(Verdict(), Seen);
  Other({-20, 0, 168, 180});
  EXPECT_EQ(Verdict(), UnseenCovered);
}

// Covered: noticed at once when an event tells of it, else by the backstop check a second
// after the last; drawn for half a second more either way.
TEST_F(SeenWatch, CoveringIsNoticedAtOnceOnAnEventElseAtTheBackstop) {
  StartDrawing({"--wallpaper"});
  const RECT all = kSmallMonitor, beside = {320, 0, 640, 180};
  const struct {
    const char* what;
    std::function<HWND()> before;
    std::function<void(HWND)> cover;
    int drawn;
  } ways[] = {
      {"shown", [&] { return Other(all, 0, L"OtherApp", WS_POPUP); },
       [](HWND w) { ShowWindow(w, SW_SHOW); }, 5},
      {"restored", [&] { HWND w = Other(all); ShowWindow(w, SW_MINIMIZE); return w; },
       [](HWND w) { ShowWindow(w, SW_RESTORE); }, 5},
      {"uncloaked", [&] { HWND w = Other(all); PortableCloakWindow(w, DWM_CLOAKED_SHELL); return w; },
       [](HWND w) { PortableCloakWindow(w, 0); }, 5},
      {"dragged over", [&] { return Other(beside); },
       [&](HWND w) { PortableMoveWindowByHand(w, all); }, 5},
      {"brought to the front", [&] {
         HWND w = Other(all);
         SetWindowPos(w, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
         return w;
       }, [](HWND w) {
         SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
         SetForegroundWindow(w);
       }, 5},
      {"moved over by its program", [&] { return Other(beside); },
       [](HWND w) { SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER); }, 13},
  };
  for (const auto& way : ways) {
    HWND cover = way.before();
    CheckNow();
    way.cover(cover);
    EXPECT_EQ(DrawnUntilPaused(), way.drawn) << way.what;
    DestroyWindow(cover);
    EXPECT_EQ(Timed().draws, 1) << way.what;
  }
}

// Paused: nothing drawn, one wait per backstop check, the animation time moving on in full;
// uncovered, in any way: drawn again at once.
TEST_F(SeenWatch, WhilePausedItWaitsForTheCheckAndResumesWhenUncovered) {
  StartDrawing({"--wallpaper"});
  const struct {
    const char* what;
    std::function<void(HWND)> uncover;
  } ways[] = {
      {"hidden", [](HWND w) { ShowWindow(w, SW_HIDE); }},
      {"moved away by its program",
       [](HWND w) { SetWindowPos(w, nullptr, 320, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER); }},
      {"gone", [](HWND w) { DestroyWindow(w); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.what);
    HWND cover = Other(kSmallMonitor);
    EXPECT_EQ(DrawnUntilPaused(), 5);
    for (int i = 0; i < 3; ++i) {
      double time = loop_.animationTime;
      Step paused = Timed();
      EXPECT_EQ(paused.draws, 0);
      EXPECT_NEAR(paused.waited, 1.0, 0.002);
      EXPECT_NEAR(loop_.animationTime - time, 1.12, 0.002) << "the last wait counts in full";
    }
    way.uncover(cover);
    EXPECT_EQ(Timed().draws, 1);
    if (IsWindow(cover)) DestroyWindow(cover);
  }
}

// The program's own changes raise no event it hears (its hooks skip its own process): a
// move of its window is noticed by the area it shows.
TEST_F(SeenWatch, ItsOwnWindowMovedUnderAnotherIsNoticedAtOnce) {
  PortableSetMonitors({{0, 0, 800, 300}});
  StartDrawing({"--window"});
  EXPECT_EQ(PortableWinEventHookCount(), 5);
  Other({400, 0, 800, 300});
  CheckNow();
  SetWindowPos(gApp.mainWindow, nullptr, 420, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_EQ(DrawnUntilPaused(), 5);
  PostMessageW(gApp.mainWindow, WM_CLOSE, 0, 0);
  EXPECT_EQ(RunToExit(), 0);
  EXPECT_EQ(PortableWinEventHookCount(), 0);
}

}  // namespace
