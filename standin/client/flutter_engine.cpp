#include "flutter/flutter_engine.h"

#include <vector>

#include "standin/client/binary_messenger_impl.h"

namespace flutter {

FlutterEngine::FlutterEngine(const DartProject& project) {
  std::vector<const char*> arguments;
  for (const std::string& argument : project.dart_entrypoint_arguments()) arguments.push_back(argument.c_str());
  entrypoint_ = project.dart_entrypoint();

  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = project.assets_path().c_str();
  properties.icu_data_path = project.icu_data_path().c_str();
  properties.aot_library_path = project.aot_library_path().c_str();
  properties.dart_entrypoint = entrypoint_.empty() ? nullptr : entrypoint_.c_str();
  properties.dart_entrypoint_argc = static_cast<int>(arguments.size());
  properties.dart_entrypoint_argv = arguments.empty() ? nullptr : arguments.data();
  engine_ = FlutterDesktopEngineCreate(&properties);
  messenger_ = std::make_unique<BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine_));
}

FlutterEngine::~FlutterEngine() { ShutDown(); }

bool FlutterEngine::Run() { return Run(nullptr); }

bool FlutterEngine::Run(const char* entry_point) {
  if (engine_ == nullptr) return false;
  return FlutterDesktopEngineRun(engine_, entry_point != nullptr ? entry_point : entrypoint_.c_str());
}

void FlutterEngine::ShutDown() {
  if (engine_ != nullptr && owns_engine_) FlutterDesktopEngineDestroy(engine_);
  engine_ = nullptr;
}

std::chrono::nanoseconds FlutterEngine::ProcessMessages() {
  return std::chrono::nanoseconds(engine_ != nullptr ? FlutterDesktopEngineProcessMessages(engine_) : 0);
}

void FlutterEngine::ReloadSystemFonts() {
  if (engine_ != nullptr) FlutterDesktopEngineReloadSystemFonts(engine_);
}

FlutterDesktopPluginRegistrarRef FlutterEngine::GetRegistrarForPlugin(const std::string& plugin_name) {
  return engine_ != nullptr ? FlutterDesktopEngineGetPluginRegistrar(engine_, plugin_name.c_str()) : nullptr;
}

IDXGIAdapter* FlutterEngine::GetGraphicsAdapter() {
  IDXGIAdapter* adapter = nullptr;
  if (engine_ == nullptr || !FlutterDesktopEngineGetGraphicsAdapter(engine_, &adapter)) return nullptr;
  return adapter;
}

void FlutterEngine::SetNextFrameCallback(std::function<void()> callback) {
  if (engine_ == nullptr) return;
  next_frame_callback_ = std::move(callback);
  FlutterDesktopEngineSetNextFrameCallback(
      engine_,
      [](void* user_data) {
        auto* self = static_cast<FlutterEngine*>(user_data);
        std::function<void()> callback = std::move(self->next_frame_callback_);
        self->next_frame_callback_ = nullptr;
        try {
          if (callback) callback();
        } catch (...) {
          // Nothing goes back into the engine.
        }
      },
      this);
}

FlutterDesktopEngineRef FlutterEngine::RelinquishEngine() {
  owns_engine_ = false;
  return engine_;
}

}  // namespace flutter
