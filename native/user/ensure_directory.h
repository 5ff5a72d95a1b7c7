#pragma once
// Makes sure a protected directory exists with a trusted ACL: created when
// missing, kept when sound, removed and made again when its owner is trusted
// but its DACL is not, and refused when it belongs to someone else.

#include <windows.h>

#include <string>

#include "native/user/protected_dirs_platform.h"

namespace orv {

// 0, or 5 when the path or the directory cannot be trusted, or the error of
// the creation or of the deletion.
[[nodiscard]] DWORD EnsureDirectory(const DirectoryPlatform& calls, const std::wstring& path, SECURITY_ATTRIBUTES* attributes,
                                    bool ownerRestricted);

}  // namespace orv
