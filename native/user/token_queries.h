#pragma once
// Facts about tokens and the user's folders that the capture and the later
// elevated operations share. Every failure gives false or an empty string.

#include <windows.h>

#include <shlobj.h>

#include <string>

#include "native/user/user_context_platform.h"

namespace orv {

// True only when the process token says it is elevated.
bool IsProcessElevated(const UserContextPlatform& platform = {});

// The token user's SID in its "S-1-5-..." form.
std::wstring TokenSidString(HANDLE token, const UserContextPlatform& platform = {});

// The SID of the user this process runs as; empty when it cannot be read.
std::wstring ProcessUserSid(const UserContextPlatform& platform = {});

// The folder's path for the token's user (null token: the process's own view),
// without checking that it exists.
std::wstring KnownFolderPath(REFKNOWNFOLDERID folder, HANDLE token, const UserContextPlatform& platform = {});

}  // namespace orv
