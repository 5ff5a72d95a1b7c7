// The standard codec's decoders on arbitrary bytes: nothing may crash or read
// out of bounds, and whatever decodes must survive a second round trip
// unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "flutter/method_result_functions.h"
#include "flutter/standard_message_codec.h"
#include "flutter/standard_method_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& messages = flutter::StandardMessageCodec::GetInstance();
  const auto& methods = flutter::StandardMethodCodec::GetInstance();

  if (auto value = messages.DecodeMessage(data, size)) {
    auto once = messages.EncodeMessage(*value);
    auto again = messages.DecodeMessage(*once);
    if (!again || *messages.EncodeMessage(*again) != *once) std::abort();
  }

  if (auto call = methods.DecodeMethodCall(data, size)) {
    auto once = methods.EncodeMethodCall(*call);
    auto again = methods.DecodeMethodCall(*once);
    if (!again || again->method_name() != call->method_name() || *methods.EncodeMethodCall(*again) != *once)
      std::abort();
  }

  int answers = 0;
  flutter::MethodResultFunctions<flutter::EncodableValue> result(
      [&](const flutter::EncodableValue*) { ++answers; },
      [&](const std::string&, const std::string&, const flutter::EncodableValue*) { ++answers; },
      [&] { ++answers; });
  const bool decoded = methods.DecodeAndProcessResponseEnvelope(data, size, &result);
  if (answers != (decoded ? 1 : 0)) std::abort();
  return 0;
}
