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

// Waitable timers, unnamed, signalled when due by the performance counter's clock (so a
// frozen clock reaches a due time only by an advance or by a wait for the timer, which jumps
// the clock there). A synchronization timer resets when a wait takes it, a manual-reset one
// stays signalled until it is set again. The high-resolution flag is accepted (Windows 10
// from version 1803 on) unless PortableRefuseHighResolutionTimers says otherwise; both kinds
// fire exactly on time here, where Windows fires an ordinary timer on its clock tick (15.6
// ms unless a program asked for finer). Left out: names, absolute due times, completion
// routines and waking the machine (each fails with ERROR_NOT_SUPPORTED). MsgWaitForMultipleObjects
// (user32.h) waits on them; CloseHandle closes them.
#define CREATE_WAITABLE_TIMER_MANUAL_RESET 0x00000001
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#define TIMER_ALL_ACCESS 0x001F0003
typedef void (*PTIMERAPCROUTINE)(LPVOID argument, DWORD timerLowValue, DWORD timerHighValue);
HANDLE CreateWaitableTimerExW(SECURITY_ATTRIBUTES* attributes, LPCWSTR name, DWORD flags,
                              DWORD desiredAccess);
HANDLE CreateWaitableTimerW(SECURITY_ATTRIBUTES* attributes, BOOL manualReset, LPCWSTR name);
// A negative due time is relative, in 100-nanosecond units; a period in milliseconds makes
// the timer fire again every period after the first time.
BOOL SetWaitableTimer(HANDLE timer, const LARGE_INTEGER* dueTime, LONG period,
                      PTIMERAPCROUTINE completionRoutine, LPVOID argument, BOOL resume);
// Stops the timer without changing whether it is signalled.
BOOL CancelWaitableTimer(HANDLE timer);

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
