#pragma once
// Exports of the protected directories. Each out string is a CoTaskMemAlloc
// path that the caller frees with CoTaskMemFree.

#include <windows.h>

extern "C" {
DWORD WINAPI OrvCreateProtectedTemp(const wchar_t* name, wchar_t** outPath) noexcept;
DWORD WINAPI OrvCreateProtectedUpdateTemp(wchar_t** outPath) noexcept;
DWORD WINAPI OrvGetProtectedUpdateCache(wchar_t** outPath) noexcept;
}
