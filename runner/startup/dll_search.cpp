#include "runner/startup/dll_search.h"

#include <windows.h>

#include "native/common/proc_address.h"

namespace orv {

bool LimitDllSearchToSystemFolder() noexcept {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto limit =
      ResolveProc<SetDefaultDllDirectoriesFn>(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
  if (limit != nullptr && limit(LOAD_LIBRARY_SEARCH_SYSTEM32)) return true;
  ::SetDllDirectoryW(L"");
  return false;
}

}  // namespace orv
