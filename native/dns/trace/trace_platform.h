#pragma once
// Everything the DNS client trace reaches outside itself: event tracing, the
// event property reads, the packet capture and the filtering platform. The
// default holds the production pieces.

#include "native/dns/capture/capture_platform.h"
#include "native/dns/trace/event_tracing_api.h"
#include "native/dns/trace/tdh_api.h"
#include "native/dns/trace/trace_capture.h"
#include "native/dns/wfp/wfp_engine_api.h"

namespace orv::dns {

// The adapter packet capture on a capture platform.
TraceCaptureFactory AdapterCaptureFactory(const DnsCapturePlatform& platform);
TraceCaptureFactory ProductionCaptureFactory();

struct TracePlatform {
  EventTracingApi tracing;
  TdhApi tdh = TdhApi::System();
  TraceCaptureFactory capture = ProductionCaptureFactory();
  WfpEngineApi wfp = WfpEngineApi::System();
};

}  // namespace orv::dns
