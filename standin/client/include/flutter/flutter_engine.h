#pragma once

#include <flutter_windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "flutter/binary_messenger.h"
#include "flutter/dart_project.h"
#include "flutter/plugin_registry.h"

namespace flutter {

class FlutterEngine : public PluginRegistry {
 public:
  explicit FlutterEngine(const DartProject& project);
  ~FlutterEngine() override;
  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  bool Run();
  bool Run(const char* entry_point);
  void ShutDown();
  std::chrono::nanoseconds ProcessMessages();
  void ReloadSystemFonts();

  FlutterDesktopPluginRegistrarRef GetRegistrarForPlugin(const std::string& plugin_name) override;
  BinaryMessenger* messenger() { return messenger_.get(); }

  // The adapter the engine renders on: a new reference for the caller to
  // release, or null.
  IDXGIAdapter* GetGraphicsAdapter();

  // Runs once, on the platform thread, after the next frame is drawn.
  void SetNextFrameCallback(std::function<void()> callback);

 private:
  friend class FlutterViewController;

  // Hands the engine to a view controller, which then owns it.
  FlutterDesktopEngineRef RelinquishEngine();

  FlutterDesktopEngineRef engine_ = nullptr;
  bool owns_engine_ = true;
  std::unique_ptr<BinaryMessenger> messenger_;
  std::function<void()> next_frame_callback_;
  std::string entrypoint_;
};

}  // namespace flutter
