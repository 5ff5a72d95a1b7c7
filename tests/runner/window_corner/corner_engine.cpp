#include "tests/runner/window_corner/corner_engine.h"

#include <flutter_standin.h>

#include <memory>

#include "flutter/method_result_functions.h"
#include "flutter/standard_method_codec.h"
#include "runner/window_corner/window_corner_plugin.h"
#include "tests/support/engine_registry.h"

namespace orv::test {
namespace {

using flutter::EncodableValue;

constexpr char kChannel[] = "orv.net/window_corner";

void OnReply(FlutterStandinOutcome outcome, const uint8_t* data, size_t size, void* userData) {
  auto* answer = static_cast<Answer*>(userData);
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
      [&](const std::string& code, const std::string& message, const EncodableValue*) {
        answer->kind = "error";
        answer->code = code;
        answer->message = message;
      },
      nullptr);
  flutter::StandardMethodCodec::GetInstance().DecodeAndProcessResponseEnvelope(data, size, &result);
}

}  // namespace

CornerEngine::CornerEngine() {
  controller_ = FlutterDesktopViewControllerCreate(64, 64, CreateStandinEngine());
  if (controller_ == nullptr) return;
  engine_ = FlutterDesktopViewControllerGetEngine(controller_);
  EngineRegistry registry(engine_);
  RegisterWindowCornerPlugin(&registry);
}

CornerEngine::~CornerEngine() {
  if (controller_ != nullptr) FlutterDesktopViewControllerDestroy(controller_);
}

HWND CornerEngine::view() const {
  return FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(controller_));
}

Answer CornerEngine::Call(const std::string& method, const EncodableValue& arguments) {
  flutter::MethodCall<EncodableValue> call(method, std::make_unique<EncodableValue>(arguments));
  const auto bytes = flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
  Answer answer;
  FlutterStandinEngineDeliverMessage(engine_, kChannel, bytes->data(), bytes->size(), &OnReply, &answer);
  return answer;
}

flutter::EncodableMap CornerArguments(EncodableValue enabled, std::int32_t border, std::int32_t fill,
                                      std::int32_t shadow) {
  return flutter::EncodableMap{{EncodableValue("enabled"), enabled},
                               {EncodableValue("borderRgb"), EncodableValue(border)},
                               {EncodableValue("fillRgb"), EncodableValue(fill)},
                               {EncodableValue("shadowRgb"), EncodableValue(shadow)}};
}

}  // namespace orv::test
