#pragma once
// The interface's switch for native file logging: channel
// "orv.runtime_log_policy", one instance per engine, all driving the logging
// library's process-wide policy.

#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>
#include <flutter/plugin_registrar_windows.h>
#include <flutter/plugin_registry.h>
#include <flutter_messenger.h>

#include <cstdint>
#include <memory>
#include <optional>

namespace orv {

struct LogPolicy {
  int enabled = 0;
  std::int64_t expiresAt = 0;
};

// The policy a setPolicy call asks for; nullopt when its arguments are absent
// or not a map.
std::optional<LogPolicy> ReadLogPolicy(const flutter::EncodableValue* arguments);

class OrvRuntimeLogPolicy : public flutter::Plugin {
 public:
  static void RegisterWithRegistrar(flutter::PluginRegistrarWindows* registrar);

  explicit OrvRuntimeLogPolicy(flutter::PluginRegistrarWindows* registrar);
  ~OrvRuntimeLogPolicy() override;

 private:
  FlutterDesktopMessengerRef messenger_ = nullptr;
  std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> channel_;
};

void RegisterRuntimeLogPolicy(flutter::PluginRegistry* registry);

}  // namespace orv
