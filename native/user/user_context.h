#pragma once
// The interactive user: the owner of the desktop shell in this process's
// session. Captured once at start-up, before any window exists; afterwards the
// state below is read-only and kept until exit.

#include <windows.h>

#include <string>

#include "native/user/user_context_platform.h"

namespace orv {

// Finds the user's token through the shell, makes HKEY_CURRENT_USER that
// user's hive, points the profile variables at the user's folders and writes
// the user-context text. False with the thread's last error set: 740 not
// elevated, 1312 no shell of this session, 1206 a folder or the SID missing,
// or the failing platform call's own code. A second call after a capture that
// got the token returns true at once.
[[nodiscard]] bool CaptureUserContext(bool requireElevation);
[[nodiscard]] bool CaptureUserContext(bool requireElevation, const UserContextPlatform& platform);

// The shell's primary token, or null before a capture got it.
HANDLE InteractiveUserToken() noexcept;

// HKEY_USERS\<user SID>, installed as the process's HKEY_CURRENT_USER; null
// before a capture.
HKEY UserHiveKey() noexcept;

// FOLDERID_ProgramData as read by the capture; empty when it was never read.
const std::wstring& ProgramDataPath() noexcept;

// The user-context JSON text, or null until a capture finished it.
const char* UserContextText() noexcept;

}  // namespace orv
