#pragma once
// The extended file disposition the MinGW-w64 headers lack, under its SDK
// names and values.

#include <windows.h>

// Deleting a directory through an open handle with POSIX semantics
// (Windows 10 1607 and later). MinGW's enumeration stops short of the value.
#if defined(__MINGW32__) && _WIN32_WINNT < 0x0A000002
inline constexpr FILE_INFO_BY_HANDLE_CLASS FileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
#endif
#ifndef FILE_DISPOSITION_FLAG_DELETE
#define FILE_DISPOSITION_FLAG_DELETE 0x00000001
#define FILE_DISPOSITION_FLAG_POSIX_SEMANTICS 0x00000002
typedef struct _FILE_DISPOSITION_INFO_EX {
  DWORD Flags;
} FILE_DISPOSITION_INFO_EX, *PFILE_DISPOSITION_INFO_EX;
#endif
