#pragma once
// The one DNS client trace a process may have at a time, and the ids that
// name traces to the interface: starting, replacing an expired trace, and
// finishing a trace into the caller's buffer. A finished document that did
// not fit the caller's buffer is kept under its id until a finish with room
// enough collects it or a new start replaces it.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "native/dns/trace/dns_trace.h"
#include "native/dns/trace/trace_platform.h"

namespace orv::dns {

class TraceRegistry {
 public:
  explicit TraceRegistry(TracePlatform platform = TracePlatform()) : platform_(std::move(platform)) {}
  TraceRegistry(const TraceRegistry&) = delete;
  TraceRegistry& operator=(const TraceRegistry&) = delete;

  // 0 with the new id in `traceId`; 87, 170, 13, 183 or the platform's error.
  [[nodiscard]] DWORD Start(const wchar_t* name, std::uint64_t* traceId);
  // 0 with the result JSON in the buffer; 6, 87 or 122. Any outcome but 6
  // ends the trace; after 122 its document waits for a larger buffer.
  [[nodiscard]] DWORD Finish(std::uint64_t traceId, std::uint8_t* buffer, std::uint32_t bufferSize, std::uint32_t* written);

 private:
  void DiscardKeptDocument() noexcept;

  TracePlatform platform_;
  std::mutex mutex_;
  std::uint64_t lastId_ = 0;
  std::uint64_t currentId_ = 0;
  std::unique_ptr<DnsTrace> current_;
  std::uint64_t keptId_ = 0;  // 0 = no document kept
  std::string keptDocument_;
};

// The process's registry, with the production platform; never destroyed.
TraceRegistry& ProcessTraceRegistry();

}  // namespace orv::dns
