// The filtering-platform inspection exports: the DNS filter preflight and the
// presence check of one filter.

#include "native/dns/wfp/wfp_filter_exports.h"

#include "kilna/kilna_exports.h"
#include "native/common/export_barrier.h"
#include "native/dns/wfp/wfp_preflight.h"
#include "native/dns/wfp/wfp_presence_check.h"

namespace orv::dns {

std::uint32_t GuardedWfpPreflight(const WfpEngineApi& api, const wchar_t* const* interfaceGuids, std::uint32_t count,
                                  std::uint8_t* buffer, std::uint32_t bufferSize, std::uint32_t* written) noexcept {
  return GuardExport([&] { return WfpPreflight(api, interfaceGuids, count, buffer, bufferSize, written); },
                     ERROR_NOT_ENOUGH_MEMORY);
}

std::uint32_t GuardedWfpPresenceCheck(const WfpEngineApi& api, const wchar_t* filterKey, std::uint64_t filterId,
                                      std::uint8_t* buffer, std::uint32_t bufferSize,
                                      std::uint32_t* written) noexcept {
  return GuardExport([&] { return WfpPresenceCheck(api, filterKey, filterId, buffer, bufferSize, written); },
                     ERROR_NOT_ENOUGH_MEMORY);
}

}  // namespace orv::dns

extern "C" {

uint32_t WINAPI OrvDnsWfpPreflight(const wchar_t* const* interfaceGuids, std::uint32_t count, std::uint8_t* buffer,
                                   std::uint32_t bufferSize, std::uint32_t* written) noexcept {
  return orv::dns::GuardedWfpPreflight(orv::dns::WfpEngineApi::System(), interfaceGuids, count, buffer, bufferSize, written);
}

uint32_t WINAPI OrvDnsWfpCompare(const wchar_t* filterKey, std::uint64_t filterId, std::uint8_t* buffer,
                                 std::uint32_t bufferSize, std::uint32_t* written) noexcept {
  return orv::dns::GuardedWfpPresenceCheck(orv::dns::WfpEngineApi::System(), filterKey, filterId, buffer, bufferSize, written);
}

}  // extern "C"
