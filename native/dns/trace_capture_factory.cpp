#include "native/dns/trace_platform.h"

namespace orv::dns {

// No adapter capture is built into this version yet: the trace reports
// "orvPackets" as unavailable.
TraceCaptureFactory ProductionCaptureFactory() { return {}; }

}  // namespace orv::dns
