#pragma once
// One DNS client trace: the tracing session on the DNS client provider with
// its consumer thread, the packet capture and the drop-event collector, all
// started together, stopped together, and summed up in one JSON document.

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "native/dns/trace/client_event.h"
#include "native/dns/trace/expiry_timer.h"
#include "native/dns/trace/trace_identity.h"
#include "native/dns/trace/trace_platform.h"
#include "native/dns/wfp/wfp_drop_collector.h"

namespace orv::dns {

// The Windows DNS client provider.
inline constexpr GUID kDnsClientProvider = {
    0x1C95126E, 0x7EEA, 0x49A9, {0xA3, 0xFE, 0xA3, 0x78, 0xB0, 0x3D, 0xDB, 0x4D}};

// What a finished trace's document sums up, in the document's order.
struct TraceDocumentParts {
  explicit TraceDocumentParts(const std::vector<std::string>& clientEvents) : events(clientEvents) {}
  const std::vector<std::string>& events;  // client event objects
  std::uint64_t dropped = 0;               // refused by the trace or lost by the session
  bool expired = false;
  DWORD clientError = 0;                   // 0: no "dnsClientErrorCode"
  std::string packets;                     // the capture's object
  std::string wfp;                         // the collector's value
};
std::string TraceDocument(const TraceDocumentParts& parts);

class DnsTrace {
 public:
  // `tracedName` is already normalised (traced_name.h).
  DnsTrace(const TracePlatform& platform, std::string tracedName);
  DnsTrace(const DnsTrace&) = delete;
  DnsTrace& operator=(const DnsTrace&) = delete;
  // Cancels the expiry, stops everything and frees the recorders.
  ~DnsTrace();

  // Starts the recorders; on failure, destroying the trace undoes the rest.
  [[nodiscard]] DWORD Start();
  void CancelExpiry() noexcept;
  // Idempotent; never runs twice at once (the expiry is cancelled first).
  void Stop() noexcept;
  bool expired() const noexcept { return expired_.load(); }
  // After Stop, once nothing else can reach the trace.
  std::string ResultJson() const;

  // The consumer's event callback: the record's context is the trace.
  static void WINAPI OnEventRecord(PEVENT_RECORD record) noexcept;

 private:
  static void CALLBACK OnExpiry(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER) noexcept;
  [[nodiscard]] DWORD OpenConsumer();
  [[nodiscard]] DWORD EnableProvider();
  void StartCapture() noexcept;

  static constexpr std::uint32_t kTag = 0x4F445453;  // tells a trace from other contexts
  std::uint32_t tag_ = kTag;
  TracePlatform platform_;
  ClientEventLog log_;
  SessionIdentity identity_;
  TRACEHANDLE session_ = 0;
  TRACEHANDLE consumer_ = INVALID_PROCESSTRACE_HANDLE;
  std::thread consumerThread_;
  ULONG consumerResult_ = 0;  // written by the consumer thread before it ends
  ExpiryTimer timer_;
  std::unique_ptr<TraceCapture> capture_;
  Collector collector_;
  std::uint64_t lost_ = 0;
  DWORD stopError_ = 0;
  std::atomic<bool> expired_{false};
};

}  // namespace orv::dns
