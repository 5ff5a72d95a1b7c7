#pragma once
// Watches the filtering platform, while a DNS trace runs, for packets that a
// filter dropped on their way to or from the accelerator's DNS server, and
// names the filters responsible. The trace owns one Collector.

#include "native/dns/wfp/wfp_engine_api.h"

#include <memory>
#include <string>

namespace orv::dns {

struct State;

class Collector {
 public:
  // The table is copied: the worker thread outlives neither it nor the trace.
  explicit Collector(const WfpEngineApi& api = WfpEngineApi::System()) : api_(api) {}
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;
  ~Collector() { Destroy(); }

  // Starts the worker once; a failure shows in the JSON, never here.
  void Start() noexcept;
  // No more events or lookups; the first stop time is kept.
  void Stop() noexcept;
  // The value of "wfp" in the trace result.
  std::string Json() const;
  // Drops the handle's reference; the worker keeps the state until it is done.
  void Destroy() noexcept;

 private:
  WfpEngineApi api_;
  std::shared_ptr<State> state_;
};

// The platform's net-event callback (exposed for tests that deliver events).
void CALLBACK OnNetEvent(void* context, const FWPM_NET_EVENT2* event) noexcept;

}  // namespace orv::dns
