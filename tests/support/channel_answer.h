#pragma once
// Test support: a method call delivered to a channel of the stand-in engine as
// the interface sends it, and its answer decoded.

#include <flutter_standin.h>

#include <string>

#include "flutter/encodable_value.h"

namespace orv::test {

struct ChannelAnswer {
  int count = 0;                                           // replies seen
  FlutterStandinOutcome outcome = kFlutterStandinNoEngine;  // of the last reply
  std::string kind = "none";                               // success, error, notImplemented, none
  flutter::EncodableValue value;                           // success value or error details
  std::string code;
  std::string message;
};

// Delivers `method` with `arguments` on `channel`; the reply lands in `answer`,
// which must outlive the call (a reply may come much later).
void DeliverMethodCall(FlutterDesktopEngineRef engine, const char* channel, const std::string& method,
                       const flutter::EncodableValue& arguments, ChannelAnswer& answer);

}  // namespace orv::test
