#pragma once
// The trace data helper calls that read DNS client event properties, as one
// table. Production code uses System(): tdh.dll loaded from the system folder,
// looked up once. Tests hand in a fake, since no DNS client event ever
// reaches a consumer on a test machine.

#include <windows.h>

#include <evntcons.h>
#include <tdh.h>

namespace orv::dns {

struct TdhApi {
  decltype(&::TdhGetPropertySize) TdhGetPropertySize = nullptr;
  decltype(&::TdhGetProperty) TdhGetProperty = nullptr;

  // Without tdh.dll every read answers ERROR_PROC_NOT_FOUND: the event's
  // properties read as absent.
  static const TdhApi& System() noexcept;
};

}  // namespace orv::dns
