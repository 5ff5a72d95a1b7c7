// The filtering-platform inspection exports: the DNS filter preflight and the
// presence check of one filter.

#include "kilna/kilna_exports.h"

#include "native/common/export_barrier.h"
#include "native/dns/wfp/wfp_preflight.h"
#include "native/dns/wfp/wfp_presence_check.h"

extern "C" {

uint32_t WINAPI OrvDnsWfpPreflight(const wchar_t* const* interfaceGuids, std::uint32_t count, std::uint8_t* buffer,
                                   std::uint32_t bufferSize, std::uint32_t* written) noexcept {
  return orv::GuardExport([&] {
    return orv::WfpPreflight(orv::WfpEngineApi::System(), interfaceGuids, count, buffer, bufferSize, written);
  }, ERROR_NOT_ENOUGH_MEMORY);
}

uint32_t WINAPI OrvDnsWfpCompare(const wchar_t* filterKey, std::uint64_t filterId, std::uint8_t* buffer,
                                 std::uint32_t bufferSize, std::uint32_t* written) noexcept {
  return orv::GuardExport([&] {
    return orv::WfpPresenceCheck(orv::WfpEngineApi::System(), filterKey, filterId, buffer, bufferSize, written);
  }, ERROR_NOT_ENOUGH_MEMORY);
}

}  // extern "C"
