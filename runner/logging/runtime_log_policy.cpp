#include "runner/logging/runtime_log_policy.h"

#include <flutter/plugin_registrar.h>
#include <flutter/standard_method_codec.h>

#include "runner/logging/log_library.h"

namespace orv {
namespace {

constexpr char kChannelName[] = "orv.runtime_log_policy";
constexpr char kRegistrarName[] = "OrvRuntimeLogPolicy";

using flutter::EncodableMap;
using flutter::EncodableValue;

const EncodableValue* Find(const EncodableMap& map, const char* key) {
  const auto it = map.find(EncodableValue(key));
  return it == map.end() ? nullptr : &it->second;
}

void HandleCall(const flutter::MethodCall<EncodableValue>& call,
                std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
  if (call.method_name() != "setPolicy") {
    result->NotImplemented();
    return;
  }
  const std::optional<LogPolicy> policy = ReadLogPolicy(call.arguments());
  if (!policy) {
    // Malformed input switches file logging off before it is refused.
    orv_log_set_policy(0, 0);
    result->Error("invalid_arguments", "Expected log policy.");
    return;
  }
  orv_log_set_policy(policy->enabled, policy->expiresAt);
  result->Success(EncodableValue(orv_log_files_allowed() != 0));
}

}  // namespace

std::optional<LogPolicy> ReadLogPolicy(const EncodableValue* arguments) {
  if (arguments == nullptr) return std::nullopt;
  const auto* map = std::get_if<EncodableMap>(arguments);
  if (map == nullptr) return std::nullopt;
  LogPolicy policy;
  if (const EncodableValue* enabled = Find(*map, "enabled")) {
    const bool* flag = std::get_if<bool>(enabled);
    policy.enabled = flag != nullptr && *flag ? 1 : 0;
  }
  if (const EncodableValue* expiresAt = Find(*map, "expiresAt")) {
    if (const auto* wide = std::get_if<std::int64_t>(expiresAt)) {
      policy.expiresAt = *wide;
    } else if (const auto* narrow = std::get_if<std::int32_t>(expiresAt)) {
      policy.expiresAt = *narrow;
    }
  }
  return policy;
}

OrvRuntimeLogPolicy::OrvRuntimeLogPolicy(flutter::PluginRegistrarWindows* registrar) {
  messenger_ = FlutterDesktopPluginRegistrarGetMessenger(registrar->registrar());
  if (messenger_ != nullptr) FlutterDesktopMessengerAddRef(messenger_);
  channel_ = std::make_unique<flutter::MethodChannel<EncodableValue>>(
      registrar->messenger(), kChannelName, &flutter::StandardMethodCodec::GetInstance());
  channel_->SetMethodCallHandler(HandleCall);
}

OrvRuntimeLogPolicy::~OrvRuntimeLogPolicy() {
  if (messenger_ != nullptr && FlutterDesktopMessengerIsAvailable(messenger_)) {
    channel_->SetMethodCallHandler(nullptr);
  }
  channel_.reset();
  if (messenger_ != nullptr) FlutterDesktopMessengerRelease(messenger_);
}

void OrvRuntimeLogPolicy::RegisterWithRegistrar(flutter::PluginRegistrarWindows* registrar) {
  registrar->AddPlugin(std::make_unique<OrvRuntimeLogPolicy>(registrar));
}

void RegisterRuntimeLogPolicy(flutter::PluginRegistry* registry) {
  FlutterDesktopPluginRegistrarRef registrar = registry->GetRegistrarForPlugin(kRegistrarName);
  OrvRuntimeLogPolicy::RegisterWithRegistrar(
      flutter::PluginRegistrarManager::GetInstance()->GetRegistrar<flutter::PluginRegistrarWindows>(registrar));
}

}  // namespace orv
