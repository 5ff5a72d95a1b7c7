#include "native/common/system_wall_clock.h"

#include <windows.h>

#include "native/common/proc_address.h"
#include "native/common/wall_clock.h"

namespace orv {
namespace {

using SystemTimeFn = void(WINAPI*)(LPFILETIME);

SystemTimeFn SystemTimeSource() noexcept {
  static const SystemTimeFn source = [] {
    const auto precise =
        ResolveProc<SystemTimeFn>(::GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime");
    return precise != nullptr ? precise : &::GetSystemTimeAsFileTime;
  }();
  return source;
}

}  // namespace

std::uint64_t SystemWallClockUs() noexcept {
  FILETIME now = {};
  SystemTimeSource()(&now);
  return MicrosecondsSince1970((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

}  // namespace orv
