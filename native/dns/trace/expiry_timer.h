#pragma once
// The threadpool timer that ends a trace by itself. Cancelling waits for a
// callback that is already running, so the trace is never stopped twice at
// once; the timer is cancelled and closed on every way out.

#include <chrono>

#include "native/dns/trace/event_tracing_api.h"

namespace orv::dns {

class ExpiryTimer {
 public:
  explicit ExpiryTimer(const EventTracingApi& api) noexcept : api_(&api) {}
  ExpiryTimer(const ExpiryTimer&) = delete;
  ExpiryTimer& operator=(const ExpiryTimer&) = delete;
  ~ExpiryTimer() { Cancel(); }

  // 0, or the error of creating the timer.
  [[nodiscard]] DWORD Create(PTP_TIMER_CALLBACK callback, void* context);
  // Fires once, `after` from now.
  void Arm(std::chrono::milliseconds after) noexcept;
  void Cancel() noexcept;

 private:
  const EventTracingApi* api_;
  PTP_TIMER timer_ = nullptr;
};

}  // namespace orv::dns
