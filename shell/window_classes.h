// The program's two window classes: start-up registers them, the main window and the
// hidden tray window are created from them, and other programs find the windows by them.
#pragma once

inline constexpr const wchar_t* kMainWindowClass = L"VelmoraTitleLive";
inline constexpr const wchar_t* kTrayWindowClass = L"VelmoraTitleLiveTray";
