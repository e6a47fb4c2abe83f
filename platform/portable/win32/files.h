// Files by handle, as the Windows kernel offers them: CreateFileW and its dispositions,
// WriteFile, SetEndOfFile, the kind of object a handle names, its link count and final
// path, ReplaceFileW, MoveFileExW and DeleteFileW.
//
// Modelled as Windows documents them: CREATE_NEW fails on any existing name, a link
// included, and FILE_FLAG_OPEN_REPARSE_POINT opens a link itself instead of following it;
// a read-only file (here: one whose mode has no write bit, whoever asks) refuses
// GENERIC_WRITE; a directory refuses every open; ReplaceFileW needs an existing replaced
// file and gives the replacement that file's attributes and access (mode, owner, group),
// and its failures leave the two files as Microsoft documents for each error (the control
// in control/files_control.h makes the next one fail); MoveFileExW moves within one file
// system, over an existing file only with MOVEFILE_REPLACE_EXISTING.
// Left out: share modes (POSIX has no mandatory locks), security attributes, templates,
// overlapped writes, backup files of ReplaceFileW, moves that copy (MOVEFILE_COPY_ALLOWED).
//
// Windows has no signals. Here a termination signal (SIGINT, SIGTERM, SIGHUP) stands for the
// end of the process as far as its files go, until a window takes the request as WM_CLOSE
// (message_queue.cpp): the files this process created with FILE_ATTRIBUTE_TEMPORARY that
// are still under the name they were created with are removed, and opening a file for
// writing, WriteFile, SetEndOfFile, ReplaceFileW and MoveFileExW fail with
// ERROR_OPERATION_ABORTED, so a write at any stage is abandoned and leaves nothing behind.
// Opening a FIFO for writing waits for its reader, as on Linux, and a write waits for room
// in it; both waits give way to the request.
#pragma once

#include "layer_only.h"

#include "win32/win32_types.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1
#define FILE_SHARE_WRITE 0x2
#define FILE_SHARE_DELETE 0x4
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x1
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_NORMAL 0x80
#define FILE_ATTRIBUTE_TEMPORARY 0x100
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000
#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define FILE_TYPE_UNKNOWN 0x0
#define FILE_TYPE_DISK 0x1
#define FILE_TYPE_CHAR 0x2
#define FILE_TYPE_PIPE 0x3
#define FILE_NAME_NORMALIZED 0x0
#define VOLUME_NAME_DOS 0x0

#define MOVEFILE_REPLACE_EXISTING 0x1
#define MOVEFILE_COPY_ALLOWED 0x2
#define MOVEFILE_WRITE_THROUGH 0x8

#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_NOT_SAME_DEVICE 17L
#define ERROR_WRITE_PROTECT 19L
#define ERROR_GEN_FAILURE 31L
#define ERROR_FILE_EXISTS 80L
#define ERROR_DISK_FULL 112L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_FILE_TOO_LARGE 223L
#define ERROR_NO_DATA 232L
#define ERROR_OPERATION_ABORTED 995L
#define ERROR_UNABLE_TO_REMOVE_REPLACED 1175L
#define ERROR_UNABLE_TO_MOVE_REPLACEMENT 1176L
#define ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 1177L

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;
struct FILETIME {
  DWORD dwLowDateTime, dwHighDateTime;
};
struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
  DWORD dwVolumeSerialNumber, nFileSizeHigh, nFileSizeLow, nNumberOfLinks, nFileIndexHigh,
      nFileIndexLow;
};
typedef BY_HANDLE_FILE_INFORMATION* LPBY_HANDLE_FILE_INFORMATION;

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
// OPEN_ALWAYS and CREATE_ALWAYS leave ERROR_ALREADY_EXISTS when the file was there, else
// ERROR_SUCCESS.
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, DWORD* written, LPOVERLAPPED overlapped);
BOOL SetEndOfFile(HANDLE file);
DWORD GetFileType(HANDLE file);
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);
// The path of the file itself, every link on the way resolved; the length without the
// terminator, or the size needed with it when the buffer is too small, or 0 on failure.
DWORD GetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD size, DWORD flags);
BOOL ReplaceFileW(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags,
                  LPVOID exclude, LPVOID reserved);
BOOL MoveFileExW(LPCWSTR existing, LPCWSTR destination, DWORD flags);
BOOL DeleteFileW(LPCWSTR path);

// Called from the termination signals' handler: removes the temporary files described
// above. Only async-signal-safe calls.
void PortableRemoveTemporaryFiles();
