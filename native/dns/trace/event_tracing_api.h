#pragma once
// The event-tracing calls of the DNS client trace, as one table, with the
// trace's expiry. Production code uses the real functions; tests hand in a
// fake, since no tracing session can be started or consumed on a test
// machine's emulation. The timer's arming goes through the table too, so that
// a test can see the due time it was given.

#include <windows.h>

#include <evntcons.h>
#include <evntrace.h>

#include <chrono>

namespace orv::dns {

struct EventTracingApi {
  decltype(&::StartTraceW) StartTraceW = ::StartTraceW;
  decltype(&::ControlTraceW) ControlTraceW = ::ControlTraceW;
  decltype(&::OpenTraceW) OpenTraceW = ::OpenTraceW;
  decltype(&::ProcessTrace) ProcessTrace = ::ProcessTrace;
  decltype(&::CloseTrace) CloseTrace = ::CloseTrace;
  decltype(&::EnableTraceEx2) EnableTraceEx2 = ::EnableTraceEx2;
  decltype(&::CreateThreadpoolTimer) CreateThreadpoolTimer = ::CreateThreadpoolTimer;
  decltype(&::SetThreadpoolTimer) SetThreadpoolTimer = ::SetThreadpoolTimer;

  // How long a trace records before it stops by itself.
  std::chrono::milliseconds expiry = std::chrono::seconds(45);
};

}  // namespace orv::dns
