#pragma once
// The system's time as microseconds since 1970: the "timeUs", "startedUs" and
// "endedUs" of the DNS diagnostic documents.

#include <cstdint>

namespace orv {

// The precise clock where the system has one (Windows 8 and later), else the
// plain system time, which Windows 7 keeps to its timer resolution.
std::uint64_t SystemWallClockUs() noexcept;

}  // namespace orv
