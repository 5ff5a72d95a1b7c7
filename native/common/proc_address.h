#pragma once
// Typed access to functions resolved at run time.

#include <windows.h>

namespace orv {

template <typename Fn>
Fn ProcAs(FARPROC proc) noexcept {
  // Through void* so the compiler does not warn about the function type cast.
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

template <typename Fn>
Fn ResolveProc(HMODULE module, const char* name) noexcept {
  if (module == nullptr) return nullptr;
  return ProcAs<Fn>(::GetProcAddress(module, name));
}

}  // namespace orv
