#pragma once
// Microseconds since 1970 from a FILETIME count, the time base of every DNS
// diagnostic document. Portable: no Windows header.

#include <cstdint>

namespace orv {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
inline constexpr std::uint64_t kFileTimeOf1970 = 116444736000000000ULL;

// Values at or before 1970 give 0, which every caller treats as "no time".
constexpr std::uint64_t MicrosecondsSince1970(std::uint64_t filetime) {
  return filetime > kFileTimeOf1970 ? (filetime - kFileTimeOf1970) / 10 : 0;
}

}  // namespace orv
