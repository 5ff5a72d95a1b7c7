#pragma once
// The interactive user's proxy as the interface calls it. Results are Windows
// error codes.

#include <windows.h>

extern "C" {

DWORD WINAPI OrvReadUserProxy(wchar_t** outJson) noexcept;
DWORD WINAPI OrvSetUserProxy(unsigned int port) noexcept;
DWORD WINAPI OrvClearUserProxy() noexcept;
DWORD WINAPI OrvRestoreUserProxy(int* outRestored) noexcept;
DWORD WINAPI OrvReadEffectiveUserProxyConflict(int* outConflict) noexcept;
DWORD WINAPI OrvBeginUserProxyCleanup(int* outTicket, int* outRestoreResult) noexcept;
DWORD WINAPI OrvVerifyUserProxyCleanup(int ticket, int* outClean) noexcept;
DWORD WINAPI OrvFinishUserProxyCleanup(int ticket, int restore) noexcept;

}  // extern "C"
