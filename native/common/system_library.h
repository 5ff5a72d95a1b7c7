#pragma once
// A system DLL loaded from the system folder alone. The process runs elevated,
// often from a folder the user can write to, so a system DLL that is not one
// of the pre-mapped KnownDLLs is never found by a search that starts beside
// the executable: it is loaded here, at run time, and its functions are
// looked up by name.

#include <windows.h>

#include "native/common/proc_address.h"
#include "native/common/unique_resource.h"

namespace orv {

// Loads `fileName` (a bare name such as L"dnsapi.dll") from the system folder.
// Null when the system has no such DLL; GetLastError() then says why.
HMODULE LoadSystemLibrary(const wchar_t* fileName) noexcept;

namespace system_library_detail {

// Stands in for a function the system lacks: every call answers `kAnswer`
// and leaves ERROR_PROC_NOT_FOUND as the last error.
template <typename Fn, auto kAnswer>
struct Refusal;

template <typename Result, typename... Args, auto kAnswer>
struct Refusal<Result (*)(Args...), kAnswer> {
  static Result WINAPI Call(Args...) noexcept {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return static_cast<Result>(kAnswer);
  }
};

template <typename... Args, auto kAnswer>
struct Refusal<void (*)(Args...), kAnswer> {
  static void WINAPI Call(Args...) noexcept { ::SetLastError(ERROR_PROC_NOT_FOUND); }
};

}  // namespace system_library_detail

class SystemLibrary {
 public:
  explicit SystemLibrary(const wchar_t* fileName) noexcept : module_(LoadSystemLibrary(fileName)) {}

  bool loaded() const noexcept { return module_.valid(); }

  // The named function, or null when the DLL or the function is missing.
  template <typename Fn>
  Fn Find(const char* name) const noexcept {
    return ResolveProc<Fn>(module_.get(), name);
  }

  // The named function, or one that answers `kAnswer` (with the last error
  // ERROR_PROC_NOT_FOUND) when the DLL or the function is missing, so a
  // caller meets the failure it already handles.
  template <typename Fn, auto kAnswer>
  Fn FindOr(const char* name) const noexcept {
    if (Fn fn = Find<Fn>(name)) return fn;
    return &system_library_detail::Refusal<Fn, kAnswer>::Call;
  }

 private:
  UniqueModule module_;
};

// The system DLLs loaded this way, one name each.
namespace system_dll {
inline constexpr wchar_t kComctl32[] = L"comctl32.dll";
inline constexpr wchar_t kDirect3D11[] = L"d3d11.dll";
inline constexpr wchar_t kDnsapi[] = L"dnsapi.dll";
inline constexpr wchar_t kDwmapi[] = L"dwmapi.dll";
inline constexpr wchar_t kDxgi[] = L"dxgi.dll";
inline constexpr wchar_t kFwpuclnt[] = L"fwpuclnt.dll";
inline constexpr wchar_t kIphlpapi[] = L"iphlpapi.dll";
inline constexpr wchar_t kTdh[] = L"tdh.dll";
inline constexpr wchar_t kVersion[] = L"version.dll";
inline constexpr wchar_t kWindowsCodecs[] = L"windowscodecs.dll";
inline constexpr wchar_t kWininet[] = L"wininet.dll";
inline constexpr wchar_t kWtsapi32[] = L"wtsapi32.dll";
}  // namespace system_dll

// The process's one copy of a system DLL, loaded on first use (thread-safe)
// and never unloaded: detached workers and platform callbacks may still run
// in its code while the process ends.
template <const wchar_t* kFileName>
const SystemLibrary& KeptSystemLibrary() {
  static const SystemLibrary* const library = new SystemLibrary(kFileName);
  return *library;
}

// The HRESULT of a missing function.
inline constexpr HRESULT kProcNotFoundHresult = static_cast<HRESULT>(0x8007007F);

}  // namespace orv
