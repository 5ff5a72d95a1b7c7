#pragma once
// The adapter packet capture's JSON object, the value of "orvPackets" in the
// DNS trace result: compact, keys in a fixed order, numbers in unsigned
// decimal. No value needs escaping. Portable: no Windows header.

#include <string>

#include "native/dns/capture/capture_record.h"

namespace orv::dns {

// "interfaceNotReady", "armed", "unavailable" or "partial", from the error
// code and whether a window was ever opened.
const char* CaptureStatus(const CaptureRecord& record);

void AppendCaptureJson(std::string& json, const CaptureRecord& record);

}  // namespace orv::dns
