// Looks at the running program from outside, for the tests under Wine: window geometry,
// parents, styles, layered attributes and place among the siblings, the cursor, the
// notification-area icon and the popup menu, and broadcasts the message a restarted shell
// sends. Prints "key=value" lines.
//
//   probe window CLASS       the first window of that class, top-level or child
//   probe screen             the primary monitor's rectangle
//   probe cursor             the cursor the system shows now
//   probe menu               the popup menu that is open, if any
//   probe menu-count         how many popup menus are open
//   probe tray-exists HWND   whether HWND has notification-area icon 1
//   probe tray-remove HWND   removes that icon, as a crashed shell would lose it
//   probe taskbar-created    broadcasts "TaskbarCreated"
//   probe close CLASS        posts WM_CLOSE to the first window of that class
//   probe post CLASS MSG LPARAM N [WPARAM]
//                            posts that message N times in a row to that window, wParam 0
//                            unless given (as the system sends notifications Wine does not)
//   probe keydown CLASS VK   posts WM_KEYDOWN of that virtual key to that window, for
//                            windows that cannot take the keyboard focus
//   probe zorder             the top-level windows, topmost first, with their classes
//   probe resources EXE      sizes of the program's data resources, its icon group, the
//                            DPI awareness its manifest declares and its version resource
//   probe folders            the user's local application data and Start-menu programs
//   probe shortcut LNK       the target of a shortcut
//   probe end-session CLASS REASONS
//                            ends the session for the first window of that class as Windows
//                            does: WM_QUERYENDSESSION, then WM_ENDSESSION with its answer,
//                            lParam REASONS. For a log-off or shutdown (no
//                            ENDSESSION_CLOSEAPP) the process is then ended at once, as
//                            Windows may; the Restart Manager waits 10 s for it to end
//   probe size CLASS W H     resizes that window so that its client area is W x H
//   probe counts CLASS       the kernel handles and the windows of the process that owns the
//                            first window of that class
//   probe commands CLASS MS ID...
//                            posts WM_COMMAND with each ID in turn to that window, waiting MS
//                            milliseconds after each
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Search {
  std::wstring className;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
  Search* search = (Search*)lParam;
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  if (search->className == name) {
    search->found = window;
    return FALSE;
  }
  EnumChildWindows(window, MatchWindow, lParam);
  return search->found ? FALSE : TRUE;
}

HWND FindAnyWindow(const char* className) {
  Search search = {std::wstring(className, className + std::strlen(className)), nullptr};
  EnumWindows(MatchWindow, (LPARAM)&search);
  return search.found;
}

std::string ClassOf(HWND window) {
  wchar_t name[256] = {};
  if (window) GetClassNameW(window, name, 256);
  std::string narrow;
  for (const wchar_t* c = name; *c; ++c) narrow += (char)*c;
  return narrow;
}

// The X11 window that Wine made for a top-level window, so that xdotool can address it.
unsigned long long XWindowOf(HWND window) {
  return (unsigned long long)(ULONG_PTR)GetPropW(window, L"__wine_x11_whole_window");
}

void PrintUtf8(const char* name, const wchar_t* text) {
  char utf8[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, (int)sizeof(utf8), nullptr, nullptr);
  std::printf("%s=%s\n", name, utf8);
}

void PrintRect(const char* name, RECT r) {
  std::printf("%s=%ld,%ld,%ld,%ld\n", name, r.left, r.top, r.right, r.bottom);
}

int PrintWindow(HWND window) {
  if (!window) {
    std::printf("found=0\n");
    return 1;
  }
  RECT outer, client;
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  HWND parent = GetAncestor(window, GA_PARENT);
  if (parent == GetDesktopWindow()) parent = nullptr;
  std::printf("found=1\nhwnd=%llu\n", (unsigned long long)(ULONG_PTR)window);
  std::printf("visible=%d\n", IsWindowVisible(window) ? 1 : 0);
  std::printf("parent=%llu\nparent_class=%s\n", (unsigned long long)(ULONG_PTR)parent,
              ClassOf(parent).c_str());
  PrintRect("rect", outer);
  std::printf("client=%ld,%ld\n", client.right, client.bottom);
  std::printf("client_origin=%ld,%ld\n", origin.x, origin.y);
  std::printf("style=0x%08lX\nexstyle=0x%08lX\n", (unsigned long)GetWindowLongPtrW(window, GWL_STYLE),
              (unsigned long)GetWindowLongPtrW(window, GWL_EXSTYLE));
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  PrintUtf8("title", title);
  std::printf("xwindow=%llu\n", XWindowOf(GetAncestor(window, GA_ROOT)));
  BYTE alpha = 0;
  DWORD flags = 0;
  bool layered = GetLayeredWindowAttributes(window, nullptr, &alpha, &flags);
  std::printf("layered=%d\nalpha=%u\nlayered_flags=0x%lX\n", layered ? 1 : 0, alpha,
              (unsigned long)flags);
  // The window's siblings, topmost first, the window among them.
  std::string siblings;
  for (HWND w = GetWindow(window, GW_HWNDFIRST); w; w = GetWindow(w, GW_HWNDNEXT)) {
    if (!siblings.empty()) siblings += ",";
    siblings += ClassOf(w);
  }
  std::printf("siblings=%s\n", siblings.c_str());
  return 0;
}

NOTIFYICONDATAW IconOf(const char* handle) {
  NOTIFYICONDATAW icon = {};
  icon.cbSize = sizeof(icon);
  icon.hWnd = (HWND)(ULONG_PTR)std::strtoull(handle, nullptr, 0);
  icon.uID = 1;
  return icon;
}

// The numeric file and product versions of the fixed part, and the texts of the US English
// string table, as Explorer's properties show them.
void PrintVersion(const char* path) {
  DWORD size = GetFileVersionInfoSizeA(path, nullptr);
  std::string data(size, '\0');
  if (!size || !GetFileVersionInfoA(path, 0, size, data.data())) return;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueA(data.data(), "\\", (void**)&fixed, &length) && length >= sizeof(*fixed)) {
    std::printf("file_version=%lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16,
                fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16,
                fixed->dwFileVersionLS & 0xFFFF);
    std::printf("product_version=%lu.%lu.%lu.%lu\n", fixed->dwProductVersionMS >> 16,
                fixed->dwProductVersionMS & 0xFFFF, fixed->dwProductVersionLS >> 16,
                fixed->dwProductVersionLS & 0xFFFF);
  }
  for (const char* name : {"FileVersion", "ProductVersion", "ProductName"}) {
    char* text = nullptr;
    std::string query = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (VerQueryValueA(data.data(), query.c_str(), (void**)&text, &length))
      std::printf("text_%s=%s\n", name, text);
  }
}

int PrintShortcut(const char* path) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  wchar_t wide[MAX_PATH] = {}, target[MAX_PATH] = {};
  MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, MAX_PATH);
  bool read = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IShellLinkW, (void**)&link)) &&
              SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file)) &&
              SUCCEEDED(file->Load(wide, STGM_READ)) &&
              SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, 0));
  if (file) file->Release();
  if (link) link->Release();
  std::printf("found=%d\n", read ? 1 : 0);
  if (read) PrintUtf8("target", target);
  return read ? 0 : 1;
}

int EndSession(HWND window, LPARAM reasons) {
  if (!window) return 1;
  DWORD id = 0;
  GetWindowThreadProcessId(window, &id);
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
  DWORD_PTR agreed = 0;
  SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, reasons, SMTO_ABORTIFHUNG, 5000, &agreed);
  SendMessageTimeoutW(window, WM_ENDSESSION, agreed ? TRUE : FALSE, reasons, SMTO_ABORTIFHUNG,
                      5000, nullptr);
  std::printf("agreed=%d\n", agreed ? 1 : 0);
  if (agreed && !(reasons & ENDSESSION_CLOSEAPP))
    std::printf("ended=%d\n", TerminateProcess(process, 1) ? 1 : 0);
  else
    std::printf("ended=%d\n", WaitForSingleObject(process, 10000) == WAIT_OBJECT_0 ? 1 : 0);
  CloseHandle(process);
  return 0;
}

// An entry of NtQuerySystemInformation's handle list (SystemHandleInformation, 16) as Wine
// lays it out; the list opens with the count in a pointer-sized field. Wine answers
// GetProcessHandleCount and GetGuiResources with 0, so the handles are counted from here.
struct HandleEntry {
  ULONG process;
  BYTE type, flags;
  USHORT value;
  void* object;
  ULONG access;
};
typedef LONG(WINAPI* QuerySystem)(ULONG, void*, ULONG, ULONG*);

int HandlesOf(DWORD process) {
  QuerySystem query = (QuerySystem)(void*)GetProcAddress(GetModuleHandleW(L"ntdll.dll"),
                                                         "NtQuerySystemInformation");
  std::string list(1 << 16, '\0');
  ULONG needed = 0;
  LONG status = -1;
  while (query && (status = query(16, list.data(), (ULONG)list.size(), &needed)) != 0 &&
         list.size() < (64u << 20))
    list.resize(list.size() * 2);
  if (status != 0) return -1;
  ULONG_PTR count = *(const ULONG_PTR*)list.data();
  const HandleEntry* entries = (const HandleEntry*)(list.data() + sizeof(ULONG_PTR));
  int held = 0;
  for (ULONG_PTR i = 0; i < count; ++i) held += entries[i].process == process;
  return held;
}

struct WindowCount {
  DWORD process;
  int windows;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM lParam) {
  WindowCount* count = (WindowCount*)lParam;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  count->windows += process == count->process;
  return TRUE;
}

// Every window of the process, children inside other processes' windows included.
BOOL CALLBACK CountWindowAndChildren(HWND window, LPARAM lParam) {
  CountWindow(window, lParam);
  EnumChildWindows(window, CountWindow, lParam);
  return TRUE;
}

int PrintCounts(HWND window) {
  WindowCount count = {0, 0};
  if (!window || !GetWindowThreadProcessId(window, &count.process)) return 1;
  EnumWindows(CountWindowAndChildren, (LPARAM)&count);
  std::printf("handles=%d\nwindows=%d\n", HandlesOf(count.process), count.windows);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string command = argv[1];
  if (command == "window" && argc == 3) return PrintWindow(FindAnyWindow(argv[2]));
  if (command == "screen") {
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    PrintRect("monitor", info.rcMonitor);
    return 0;
  }
  if (command == "cursor") {
    CURSORINFO cursor = {};
    cursor.cbSize = sizeof(cursor);
    if (!GetCursorInfo(&cursor)) return 1;
    std::printf("showing=%d\nhandle=%llu\nposition=%ld,%ld\n",
                (cursor.flags & CURSOR_SHOWING) && cursor.hCursor ? 1 : 0,
                (unsigned long long)(ULONG_PTR)cursor.hCursor, cursor.ptScreenPos.x,
                cursor.ptScreenPos.y);
    return 0;
  }
  if (command == "menu") {
    HWND menu = FindWindowW(L"#32768", nullptr);
    if (!menu || !IsWindowVisible(menu)) {
      std::printf("found=0\n");
      return 1;
    }
    return PrintWindow(menu);
  }
  if (command == "menu-count") {
    int count = 0;
    for (HWND w = FindWindowW(L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr))
      if (IsWindowVisible(w)) ++count;
    std::printf("menus=%d\n", count);
    return 0;
  }
  if (command == "tray-exists" && argc == 3) {
    // Changing nothing on an icon succeeds exactly when the notification area holds it.
    NOTIFYICONDATAW icon = IconOf(argv[2]);
    std::printf("exists=%d\n", Shell_NotifyIconW(NIM_MODIFY, &icon) ? 1 : 0);
    return 0;
  }
  if (command == "tray-remove" && argc == 3) {
    NOTIFYICONDATAW icon = IconOf(argv[2]);
    std::printf("removed=%d\n", Shell_NotifyIconW(NIM_DELETE, &icon) ? 1 : 0);
    return 0;
  }
  if (command == "taskbar-created") {
    UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    std::printf("posted=%d\n", PostMessageW(HWND_BROADCAST, message, 0, 0) ? 1 : 0);
    return 0;
  }
  if (command == "resources" && argc == 3) {
    HMODULE module = LoadLibraryExA(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return 1;
    for (int id = 101; id <= 104; ++id) {
      HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));
      std::printf("rcdata%d=%lu\n", id, resource ? (unsigned long)SizeofResource(module, resource) : 0ul);
    }
    HRSRC icon = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));
    // A group icon directory: 6 bytes of header, then 14 bytes per image.
    std::printf("icon_images=%lu\n", icon ? ((unsigned long)SizeofResource(module, icon) - 6) / 14 : 0ul);
    HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    std::string text;
    if (manifest) {
      const char* bytes = (const char*)LockResource(LoadResource(module, manifest));
      text.assign(bytes, SizeofResource(module, manifest));
    }
    size_t start = text.find("<dpiAwareness");
    start = start == std::string::npos ? start : text.find('>', start);
    size_t end = start == std::string::npos ? start : text.find('<', start);
    std::printf("dpi_awareness=%s\n",
                end == std::string::npos ? "" : text.substr(start + 1, end - start - 1).c_str());
    PrintVersion(argv[2]);
    return 0;
  }
  if (command == "folders") {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    PrintUtf8("local_appdata", path);
    SHGetFolderPathW(nullptr, CSIDL_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, path);
    PrintUtf8("programs", path);
    return 0;
  }
  if (command == "shortcut" && argc == 3) return PrintShortcut(argv[2]);
  if (command == "end-session" && argc == 4)
    return EndSession(FindAnyWindow(argv[2]), (LPARAM)std::strtoul(argv[3], nullptr, 0));
  if (command == "zorder") {
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
      std::printf("%llu=%s%s\n", (unsigned long long)(ULONG_PTR)w, ClassOf(w).c_str(),
                  IsWindowVisible(w) ? " visible" : "");
    return 0;
  }
  if (command == "keydown" && argc == 4) {
    HWND window = FindAnyWindow(argv[2]);
    WPARAM key = (WPARAM)std::strtoul(argv[3], nullptr, 0);
    std::printf("posted=%d\n", window && PostMessageW(window, WM_KEYDOWN, key, 1) ? 1 : 0);
    return window ? 0 : 1;
  }
  if (command == "post" && (argc == 6 || argc == 7)) {
    HWND window = FindAnyWindow(argv[2]);
    UINT message = (UINT)std::strtoul(argv[3], nullptr, 0);
    LPARAM lParam = (LPARAM)std::strtoul(argv[4], nullptr, 0);
    WPARAM wParam = argc == 7 ? (WPARAM)std::strtoull(argv[6], nullptr, 0) : 0;
    int posted = 0;
    for (int n = std::atoi(argv[5]); window && posted < n; ++posted)
      if (!PostMessageW(window, message, wParam, lParam)) break;
    std::printf("posted=%d\n", posted);
    return window ? 0 : 1;
  }
  if (command == "size" && argc == 5) {
    HWND window = FindAnyWindow(argv[2]);
    RECT outer = {0, 0, std::atoi(argv[3]), std::atoi(argv[4])};
    AdjustWindowRectEx(&outer, (DWORD)GetWindowLongPtrW(window, GWL_STYLE), FALSE,
                       (DWORD)GetWindowLongPtrW(window, GWL_EXSTYLE));
    BOOL sized = window && SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left,
                                        outer.bottom - outer.top,
                                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    std::printf("sized=%d\n", sized ? 1 : 0);
    return window ? 0 : 1;
  }
  if (command == "counts" && argc == 3) return PrintCounts(FindAnyWindow(argv[2]));
  if (command == "commands" && argc >= 5) {
    HWND window = FindAnyWindow(argv[2]);
    int posted = 0;
    for (int i = 4; window && i < argc; ++i, ++posted) {
      if (!PostMessageW(window, WM_COMMAND, (WPARAM)std::strtoul(argv[i], nullptr, 0), 0)) break;
      Sleep((DWORD)std::atoi(argv[3]));
    }
    std::printf("posted=%d\n", posted);
    return window ? 0 : 1;
  }
  if (command == "close" && argc == 3) {
    HWND window = FindAnyWindow(argv[2]);
    std::printf("posted=%d\n", window && PostMessageW(window, WM_CLOSE, 0, 0) ? 1 : 0);
    return window ? 0 : 1;
  }
  return 2;
}
