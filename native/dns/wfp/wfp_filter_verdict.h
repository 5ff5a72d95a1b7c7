#pragma once
// Whether a filter applies to the modelled DNS connection: outbound IPv4 UDP
// to the accelerator's DNS server, port 53, not loopback, from this executable
// or the service host. The connection is tried on an interface outside the
// caller's list, or on one listed interface. Portable.

#include "native/dns/wfp/wfp_preflight_model.h"

namespace orv::dns {

enum class Verdict : std::uint8_t { kNoMatch, kUnknown, kMatch };

// Which interface the connection uses: kOtherInterface, or an index into
// Context::interfaces.
inline constexpr int kOtherInterface = -1;

struct FilterVerdict {
  Verdict verdict = Verdict::kUnknown;
  bool port53 = false;         // a remote-port condition equal to 53 was met
  bool interfaceFlag = false;  // an interface condition equal to the listed one was met
};

FilterVerdict EvaluateCondition(const Condition& condition, const Context& context, int probe);

// The filter's conditions in order; a duplicated field key makes the filter
// at best unknown, and a no-match decides at once.
FilterVerdict EvaluateFilter(const Filter& filter, const Context& context, int probe);

// True when the filter matches some listed interface with the interface flag.
bool MatchesListedInterface(const Filter& filter, const Context& context);

}  // namespace orv::dns
