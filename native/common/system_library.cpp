#include "native/common/system_library.h"

#include <string>

namespace orv {
namespace {

// Windows 7 knows the search flags only with its loader update, which adds
// AddDllDirectory to kernel32.
bool SearchFlagsKnown() noexcept {
  static const bool known = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
  return known;
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* fileName) noexcept {
  if (SearchFlagsKnown()) return ::LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Without the update: the DLL by its full path in the system folder, and its
  // own imports looked for beside it rather than beside the executable.
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  try {
    std::wstring path(folder, length);
    path.append(L"\\").append(fileName);
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  } catch (...) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

}  // namespace orv
