; The installer's own texts in its three languages; the pages' standard texts come with NSIS.
; "Start with Windows" reads as the program's menu item does.

LangString StartWithWindows ${LANG_ENGLISH} "Start with Windows"
LangString StartWithWindows ${LANG_SIMPCHINESE} "随系统自动启动"
LangString StartWithWindows ${LANG_JAPANESE} "Windows 起動時に自動起動"

LangString StillRunning ${LANG_ENGLISH} "Velmora Title Background is still running and did not quit.$\r$\nQuit it from its notification-area icon, then choose Retry."
LangString StillRunning ${LANG_SIMPCHINESE} "Velmora 标题背景仍在运行，未能退出。$\r$\n请在通知区域图标的菜单中退出它，然后选择“重试”。"
LangString StillRunning ${LANG_JAPANESE} "Velmora タイトル背景が実行中のまま終了しませんでした。$\r$\n通知領域のアイコンのメニューから終了してから、[再試行] を選んでください。"

LangString KeepSettings ${LANG_ENGLISH} "Keep your settings (scene, speed, tone, display mode and language) for a later installation?"
LangString KeepSettings ${LANG_SIMPCHINESE} "是否保留设置（场景、速度、色调、显示模式和语言），供以后再次安装时使用？"
LangString KeepSettings ${LANG_JAPANESE} "設定（シーン、速度、色調、表示モード、言語）を残して、次のインストールで使いますか？"
