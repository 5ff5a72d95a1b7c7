#pragma once
// What every DNS capture fuzz input must leave behind: a record within its
// limits, holding only A and AAAA events with 4-bit response codes, whose
// JSON is one object.

#include <cstdlib>
#include <string>

#include "native/dns/capture/capture_json.h"

namespace orv::dns::fuzzing {

inline void CheckRecord(const CaptureRecord& record) {
  if (record.events().size() > CaptureRecord::kMaxEvents) std::abort();
  if (record.windows().size() > CaptureRecord::kMaxWindows) std::abort();
  for (const CaptureEvent& event : record.events()) {
    if (event.queryType != 1 && event.queryType != 28) std::abort();
    if (event.responseCode > 15) std::abort();
    if (event.stage != DnsStage::kQuery && event.stage != DnsStage::kReply) std::abort();
    if (event.transport != DnsTransport::kUdp && event.transport != DnsTransport::kTcp) std::abort();
    if (event.clientPort == 0) std::abort();
  }
  std::string json;
  AppendCaptureJson(json, record);
  if (json.rfind("{\"status\":\"", 0) != 0 || json.size() < 2 || json.compare(json.size() - 2, 2, "]}") != 0)
    std::abort();
}

}  // namespace orv::dns::fuzzing
