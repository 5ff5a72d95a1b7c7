#pragma once
// Which tracing session belongs to which process: every instance of the same
// installed executable shares one session name, and the session's GUID says
// which process started it and when, so that a later instance can tell a
// session left behind by a dead owner from one that is still in use.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orv::dns {

std::uint64_t FileTimeValue(const FILETIME& time);

// 64-bit FNV-1a over the UTF-16 units of the text.
std::uint64_t Fnv1a64(std::wstring_view units);

// The hash of this executable's lower-cased path; 0 when it cannot be made.
std::uint64_t ExecutableHash();

// Data2 and Data3 of a session GUID for an executable hash.
USHORT SessionGuidData2(std::uint64_t hash);
USHORT SessionGuidData3(std::uint64_t hash);

GUID SessionGuid(DWORD processId, std::uint64_t hash, std::uint64_t creationTime);

// The creation time a session GUID carries.
std::uint64_t SessionGuidCreationTime(const GUID& guid);

std::wstring SessionName(std::uint64_t hash);

// This process's session: name, guard mutex name and GUID.
struct SessionIdentity {
  std::uint64_t hash = 0;
  std::wstring sessionName;
  std::wstring mutexName;
  GUID guid = {};
};

// 13 when the executable hash is 0 or the own creation time cannot be read.
[[nodiscard]] DWORD OwnSessionIdentity(SessionIdentity& identity);

}  // namespace orv::dns
