#pragma once
// The protected working directories under ProgramData that elevated work is
// handed: a fresh temp directory with a caller's name, a fresh directory for
// one update run, and the interactive user's update cache. Each returns a
// Windows error code and, on success, a CoTaskMemAlloc path without a trailing
// backslash in *outPath (null after any failure; untouched when 87).

#include <windows.h>

#include "native/user/protected_dirs_platform.h"

namespace orv {

[[nodiscard]] DWORD CreateProtectedTemp(const ProtectedDirsContext& context, const wchar_t* name, wchar_t** outPath);
[[nodiscard]] DWORD CreateProtectedUpdateTemp(const ProtectedDirsContext& context, wchar_t** outPath);
[[nodiscard]] DWORD GetProtectedUpdateCache(const ProtectedDirsContext& context, wchar_t** outPath);

// The three exports behind their barrier. The context is gathered inside it,
// so anything thrown while gathering or working answers 8.
using ProtectedDirsContextSource = ProtectedDirsContext (*)();
[[nodiscard]] DWORD GuardedCreateProtectedTemp(ProtectedDirsContextSource context, const wchar_t* name, wchar_t** outPath) noexcept;
[[nodiscard]] DWORD GuardedCreateProtectedUpdateTemp(ProtectedDirsContextSource context, wchar_t** outPath) noexcept;
[[nodiscard]] DWORD GuardedGetProtectedUpdateCache(ProtectedDirsContextSource context, wchar_t** outPath) noexcept;

}  // namespace orv
