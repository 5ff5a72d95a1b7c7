#pragma once
// The one exception barrier of every exported function: no exception ever
// leaves an export. Exhausted memory becomes ERROR_NOT_ENOUGH_MEMORY; anything
// else becomes the code the export names for an unexpected failure.

#include <windows.h>

#include <new>

namespace orv {

template <typename Body>
[[nodiscard]] DWORD GuardExport(Body&& body, DWORD unexpectedFailure = ERROR_INTERNAL_ERROR) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return unexpectedFailure;
  }
}

// For exports whose result is not an error code (a pointer or a handle).
template <typename Result, typename Body>
Result GuardExportValue(Body&& body, Result onFailure) noexcept {
  try {
    return body();
  } catch (...) {
    return onFailure;
  }
}

}  // namespace orv
