// Exports of the DNS client trace: start recording what happens to one host
// name, then finish and collect everything as one JSON document.

#include "kilna/kilna_exports.h"

#include "native/common/export_barrier.h"
#include "native/dns/trace/document_bounds.h"  // the published buffer sizes hold the longest documents
#include "native/dns/trace/trace_registry.h"

extern "C" {

uint32_t WINAPI OrvDnsTraceStart(const wchar_t* name, std::uint64_t* traceId) noexcept {
  return orv::GuardExport([&] { return orv::dns::ProcessTraceRegistry().Start(name, traceId); },
                          ERROR_NOT_ENOUGH_MEMORY);
}

uint32_t WINAPI OrvDnsTraceFinish(std::uint64_t traceId, std::uint8_t* buffer, std::uint32_t bufferSize,
                                  std::uint32_t* written) noexcept {
  return orv::GuardExport(
      [&] { return orv::dns::ProcessTraceRegistry().Finish(traceId, buffer, bufferSize, written); },
      ERROR_NOT_ENOUGH_MEMORY);
}

}  // extern "C"
