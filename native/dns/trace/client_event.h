#pragma once
// Turns one DNS client event into a JSON object of the trace result, when it
// belongs to the traced name and to this process. Runs on the trace's
// consumer thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "native/dns/trace/tdh_api.h"

namespace orv::dns {

// The DNS client provider's events that a trace keeps.
inline constexpr USHORT kClientEventIds[] = {3009, 3010, 3011, 3019, 3020};
inline constexpr std::size_t kMaxClientEvents = 128;
// A text field longer than this (in UTF-16 units) is left out.
inline constexpr std::size_t kMaxTextFieldUnits = 128;

// The part of a trace that event records read and change.
struct ClientEventLog {
  std::string queryName;            // a traced name (traced_name.h)
  std::vector<std::string> events;  // JSON objects, in arrival order
  std::uint64_t dropped = 0;        // events the trace could not keep
};

// Appends the event's object, counts it as dropped, or ignores it.
// `ownProcessId` is the process whose lookups are traced.
void RecordClientEvent(const TdhApi& tdh, const EVENT_RECORD& record, DWORD ownProcessId, ClientEventLog& log);

}  // namespace orv::dns
