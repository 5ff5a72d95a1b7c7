#pragma once
// The packet capture on the accelerator's virtual adapter for one DNS trace:
// a thread that arms a raw IPv4 socket on 172.19.0.1 whenever the adapter is
// there, for at most the platform's deadline, and records the DNS messages to
// and from the accelerator's DNS server for the traced name.

#include "native/dns/capture/capture_platform.h"
#include "native/dns/capture/capture_record.h"

#include <memory>
#include <string>
#include <string_view>

namespace orv::dns {

struct CaptureThread;

class AdapterCapture {
 public:
  // Builds the capture and starts its thread. A capture that cannot run keeps
  // the reason in its error code; only allocating the object itself can throw
  // (std::bad_alloc). The table is copied: the thread may outlive the caller's.
  static std::unique_ptr<AdapterCapture> Create(std::wstring_view name,
                                                const DnsCapturePlatform& platform = DnsCapturePlatform::Production());

  AdapterCapture(const AdapterCapture&) = delete;
  AdapterCapture& operator=(const AdapterCapture&) = delete;
  // Stops, then frees.
  ~AdapterCapture();

  // Signals the thread and waits for it. Does nothing without a thread; may be
  // called again.
  void Stop() noexcept;

  // The capture's JSON object (the value of "orvPackets"); only after Stop.
  std::string Json() const;
  void AppendJson(std::string& json) const;

  // What was recorded; only after Stop.
  const CaptureRecord& record() const noexcept;

 private:
  AdapterCapture() = default;
  std::unique_ptr<CaptureThread> state_;
};

}  // namespace orv::dns
