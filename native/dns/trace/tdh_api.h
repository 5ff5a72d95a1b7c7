#pragma once
// The trace data helper calls that read DNS client event properties, as one
// table. Production code uses the real functions; tests hand in a fake, since
// no DNS client event ever reaches a consumer on a test machine.

#include <windows.h>

#include <evntcons.h>
#include <tdh.h>

namespace orv::dns {

struct TdhApi {
  decltype(&::TdhGetPropertySize) TdhGetPropertySize = ::TdhGetPropertySize;
  decltype(&::TdhGetProperty) TdhGetProperty = ::TdhGetProperty;
};

}  // namespace orv::dns
