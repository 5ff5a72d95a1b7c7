#pragma once
// The calling thread's last Windows error as an HRESULT.

#include <windows.h>

namespace orv {

// A call that failed without setting an error must still read as a failure.
[[nodiscard]] inline HRESULT LastErrorHResult() noexcept {
  const DWORD error = ::GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace orv
