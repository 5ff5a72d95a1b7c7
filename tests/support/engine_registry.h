#pragma once
// An engine made through the engine's C API with the product's data paths,
// and its registrars handed out as the runner's own engine wrapper does, so
// that a test can register one of the system's plug-ins with its
// registration function.

#include <flutter_windows.h>

#include <string>

#include "flutter/plugin_registry.h"

namespace orv::test {

// Null when the engine cannot be made.
inline FlutterDesktopEngineRef CreateStandinEngine() {
  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = L"data\\flutter_assets";
  properties.icu_data_path = L"data\\icudtl.dat";
  properties.aot_library_path = L"data\\app.so";
  return FlutterDesktopEngineCreate(&properties);
}

class EngineRegistry : public flutter::PluginRegistry {
 public:
  explicit EngineRegistry(FlutterDesktopEngineRef engine) : engine_(engine) {}
  FlutterDesktopPluginRegistrarRef GetRegistrarForPlugin(const std::string& name) override {
    return FlutterDesktopEngineGetPluginRegistrar(engine_, name.c_str());
  }

 private:
  FlutterDesktopEngineRef engine_;
};

}  // namespace orv::test
