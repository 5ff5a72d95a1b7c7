// Exports that resolve a host name for the interface, returning the raw
// address bytes and a Windows error code (or the DNS client's status).

#include "kilna/kilna_exports.h"

#include "native/common/export_barrier.h"
#include "native/dns/query/dns_query.h"

namespace orv::dns {

DWORD GuardedQueryPhysicalDns(const DnsQueryPlatform& platform, const wchar_t* name, std::uint32_t interfaceIndex,
                              std::int32_t family, std::uint8_t* addresses, std::uint32_t capacity,
                              std::uint32_t* count) noexcept {
  return GuardExport([&] { return QueryPhysicalDns(platform, name, interfaceIndex, family, addresses, capacity, count); },
                     ERROR_NOT_ENOUGH_MEMORY);
}

DWORD GuardedQuerySystemDns(const DnsQueryPlatform& platform, const wchar_t* name, std::int32_t family,
                            std::uint8_t* addresses, std::uint32_t capacity, std::uint32_t* count) noexcept {
  return GuardExport([&] { return QuerySystemDns(platform, name, family, addresses, capacity, count); },
                     ERROR_NOT_ENOUGH_MEMORY);
}

}  // namespace orv::dns

extern "C" uint32_t WINAPI OrvQueryPhysicalDns(const wchar_t* name, std::uint32_t interfaceIndex, std::int32_t family,
                                               std::uint8_t* addresses, std::uint32_t capacity,
                                               std::uint32_t* count) noexcept {
  return orv::dns::GuardedQueryPhysicalDns(orv::dns::DnsQueryPlatform::Production(), name, interfaceIndex, family,
                                           addresses, capacity, count);
}

extern "C" uint32_t WINAPI OrvQuerySystemDns(const wchar_t* name, std::int32_t family, std::uint8_t* addresses,
                                             std::uint32_t capacity, std::uint32_t* count) noexcept {
  return orv::dns::GuardedQuerySystemDns(orv::dns::DnsQueryPlatform::Production(), name, family, addresses, capacity,
                                         count);
}
