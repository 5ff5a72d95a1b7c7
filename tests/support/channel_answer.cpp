#include "tests/support/channel_answer.h"

#include <memory>

#include "flutter/method_result_functions.h"
#include "flutter/standard_method_codec.h"

namespace orv::test {
namespace {

using flutter::EncodableValue;

void RecordReply(FlutterStandinOutcome outcome, const uint8_t* data, size_t size, void* userData) {
  auto* answer = static_cast<ChannelAnswer*>(userData);
  ++answer->count;
  answer->outcome = outcome;
  if (outcome != kFlutterStandinAnswered) return;
  if (size == 0) {
    answer->kind = "notImplemented";
    return;
  }
  flutter::MethodResultFunctions<EncodableValue> result(
      [&](const EncodableValue* value) {
        answer->kind = "success";
        if (value != nullptr) answer->value = *value;
      },
      [&](const std::string& code, const std::string& message, const EncodableValue* details) {
        answer->kind = "error";
        answer->code = code;
        answer->message = message;
        if (details != nullptr) answer->value = *details;
      },
      nullptr);
  flutter::StandardMethodCodec::GetInstance().DecodeAndProcessResponseEnvelope(data, size, &result);
}

}  // namespace

void DeliverMethodCall(FlutterDesktopEngineRef engine, const char* channel, const std::string& method,
                       const EncodableValue& arguments, ChannelAnswer& answer) {
  flutter::MethodCall<EncodableValue> call(method, std::make_unique<EncodableValue>(arguments));
  const auto bytes = flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
  FlutterStandinEngineDeliverMessage(engine, channel, bytes->data(), bytes->size(), &RecordReply, &answer);
}

}  // namespace orv::test
