#pragma once
// The real-time tracing session of a DNS client trace: starting it under the
// guard mutex shared by every instance of the executable, taking over a
// session whose owner died, and stopping it.

#include <cstdint>

#include "native/dns/trace/event_tracing_api.h"
#include "native/dns/trace/trace_identity.h"

namespace orv::dns {

// The properties block: the structure, then room for the session name.
struct SessionProperties {
  EVENT_TRACE_PROPERTIES properties;
  wchar_t loggerName[128];
};
static_assert(sizeof(EVENT_TRACE_PROPERTIES) == 120);
static_assert(sizeof(SessionProperties) == 376);

// The block for starting this process's session.
SessionProperties StartProperties(const GUID& sessionGuid);
// The block for querying or stopping a session.
SessionProperties ControlProperties();

// 0 with the session handle, or the error that stopped the start (170 when
// another start holds the guard mutex, 183 when a live owner keeps the name).
[[nodiscard]] DWORD StartSession(const EventTracingApi& api, const SessionIdentity& identity, TRACEHANDLE& session);

struct SessionStop {
  std::uint64_t lost = 0;  // events the session could not deliver
  DWORD error = 0;         // 0 unless stopping failed
};

SessionStop StopSession(const EventTracingApi& api, TRACEHANDLE session);

}  // namespace orv::dns
