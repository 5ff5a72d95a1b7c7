#pragma once
// Path and name rules of the protected directories, free of any platform call
// so that they build and are tested on the host as well.

#include <string>
#include <string_view>
#include <vector>

namespace orv {

// Longest name a caller may give a protected temp directory.
inline constexpr std::size_t kMaxProtectedNameLength = 64;

// 1 to 64 characters of [A-Za-z0-9_-]: nothing that could climb out of the
// work base or collide with a device name.
bool IsValidProtectedName(std::wstring_view name);

// A drive letter, a colon and a separator, or a root name such as \\server.
bool IsAbsolutePath(std::wstring_view path);

// The path without trailing separators, without its last component, and
// without the separators that then trail. "" when nothing is left.
std::wstring ParentPath(std::wstring_view path);

// The path itself, then each parent in turn, up to its root: the drive's root
// with its separator ("C:\\", never "C:", which names the current directory
// on that drive), or the share of a UNC path (\\\\server\\share).
std::vector<std::wstring> PathChain(std::wstring_view path);

}  // namespace orv
