#pragma once
// The executable a shell shortcut points at.

#include <windows.h>

#include <string>

namespace orv {

// The stored target with environment references expanded. Needs COM on the
// calling thread. Returns the HRESULT of the failing step; an empty target is
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND). May throw std::bad_alloc.
[[nodiscard]] HRESULT ResolveShortcut(const std::wstring& shortcutPath, std::wstring& target);

}  // namespace orv
