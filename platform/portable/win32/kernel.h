// Portable kernel services: command line, clocks, process identity, last error, the
// module's own file and resources, the user's interface language, the named mutex.
#pragma once

#include "layer_only.h"

#include "win32/win32_types.h"

#include <cstdio>
#include <string>

// Command line. GetCommandLineW gives the process's arguments joined and quoted by the
// Windows rules, so that CommandLineToArgvW gives them back unchanged.
LPWSTR GetCommandLineW();
LPWSTR* CommandLineToArgvW(LPCWSTR commandLine, int* argumentCount);
HLOCAL LocalFree(HLOCAL memory);

// Clocks and process identity.
ULONGLONG GetTickCount64();
DWORD GetCurrentProcessId();
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
void Sleep(DWORD milliseconds);

DWORD GetLastError();
void SetLastError(DWORD error);

// The module: its handle, file name and RCDATA resources (the texture payloads and the
// shader sources, assembled into the program).
HMODULE GetModuleHandleW(LPCWSTR moduleName);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_ICON MAKEINTRESOURCEW(3)
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
DWORD SizeofResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);

// The user's interface language: follows LC_ALL, LC_MESSAGES or LANG (zh, ja, else English).
#define LANG_CHINESE 0x04
#define LANG_ENGLISH 0x09
#define LANG_JAPANESE 0x11
#define SUBLANG_DEFAULT 0x01
LANGID GetUserDefaultUILanguage();

// Named mutex, a real lock across processes of this user; ERROR_ALREADY_EXISTS as on
// Windows when another process holds the name. CloseHandle closes any handle (handles.h).
struct SECURITY_ATTRIBUTES;
HANDLE CreateMutexW(SECURITY_ATTRIBUTES* attributes, BOOL initialOwner, LPCWSTR name);
BOOL CloseHandle(HANDLE handle);

[[noreturn]] void ExitProcess(UINT exitCode);

// The process entry on this platform hands its arguments over before anything else runs.
void PortableSetArguments(int argc, char** argv);

// Files by wide path, as the C runtime offers them (files by handle: files.h).
FILE* _wfopen(const wchar_t* path, const wchar_t* mode);

// The user's folder for the program's own files: $XDG_CONFIG_HOME/velmora when that is
// absolute, else ~/.config/velmora. Folders are made with their parents, private (0700).
std::string PortableConfigFolder();
bool PortableMakeFolders(const std::string& path);

// UTF-8 at the file-system boundary.
std::string PortableUtf8(const wchar_t* text);
std::wstring PortableWide(const char* utf8);
