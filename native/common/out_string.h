#pragma once
// Out strings handed to the caller: NUL-terminated UTF-16 in a CoTaskMemAlloc
// block that the caller frees with CoTaskMemFree.

#include <windows.h>

#include <string_view>

namespace orv {

using OutStringAllocator = void* (*)(SIZE_T bytes);

// Stores the text in a fresh block at *out. On failure *out is left untouched
// and ERROR_NOT_ENOUGH_MEMORY is returned.
[[nodiscard]] DWORD StoreOutString(std::wstring_view text, wchar_t** out) noexcept;
[[nodiscard]] DWORD StoreOutString(std::wstring_view text, wchar_t** out, OutStringAllocator allocate) noexcept;

}  // namespace orv
