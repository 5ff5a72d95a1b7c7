#include "native/common/environment.h"

#include <windows.h>

namespace orv {

std::wstring ReadEnvironmentText(const wchar_t* name) {
  const DWORD size = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(name, value.data(), size);
  if (length == 0 || length >= size) return {};
  value.resize(length);
  return value;
}

std::wstring ExecutablePath(size_t capacity) {
  std::wstring path(capacity, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(capacity));
  if (length == 0 || length >= capacity) return {};
  path.resize(length);
  return path;
}

}  // namespace orv
