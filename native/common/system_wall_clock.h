#pragma once
// The system's precise time as microseconds since 1970: the "timeUs",
// "startedUs" and "endedUs" of the DNS diagnostic documents.

#include <windows.h>

#include <cstdint>

#include "native/common/wall_clock.h"

namespace orv::dns {

inline std::uint64_t SystemWallClockUs() noexcept {
  FILETIME now = {};
  ::GetSystemTimePreciseAsFileTime(&now);
  return MicrosecondsSince1970((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

}  // namespace orv::dns
