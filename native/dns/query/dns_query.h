#pragma once
// Resolves one host name to its IPv4 or IPv6 addresses with the DNS client,
// always on the wire (no cache, hosts file, NetBIOS or multicast), and writes
// the raw address bytes into the caller's array.

#include <windows.h>

#include <cstdint>

#include "native/dns/query/dns_query_platform.h"

namespace orv::dns {

inline constexpr std::uint32_t kMaxQueryAddresses = 8;

// Through the interface with this index; index 0 is refused (87).
[[nodiscard]] DWORD QueryPhysicalDns(const DnsQueryPlatform& platform, const wchar_t* name, std::uint32_t interfaceIndex,
                                     std::int32_t family, std::uint8_t* addresses, std::uint32_t capacity, std::uint32_t* count);

// Through whichever interface the system picks.
[[nodiscard]] DWORD QuerySystemDns(const DnsQueryPlatform& platform, const wchar_t* name, std::int32_t family,
                                   std::uint8_t* addresses, std::uint32_t capacity, std::uint32_t* count);

// The two exports on a given table, behind their barrier: anything thrown
// inside answers 8.
[[nodiscard]] DWORD GuardedQueryPhysicalDns(const DnsQueryPlatform& platform, const wchar_t* name, std::uint32_t interfaceIndex,
                                            std::int32_t family, std::uint8_t* addresses, std::uint32_t capacity,
                                            std::uint32_t* count) noexcept;
[[nodiscard]] DWORD GuardedQuerySystemDns(const DnsQueryPlatform& platform, const wchar_t* name, std::int32_t family,
                                          std::uint8_t* addresses, std::uint32_t capacity, std::uint32_t* count) noexcept;

}  // namespace orv::dns
