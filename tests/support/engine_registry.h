#pragma once
// The registrars of an engine made through the engine's C API, handed out as
// the runner's own engine wrapper does, so that a test can register one of
// the system's plug-ins with its registration function.

#include <flutter_windows.h>

#include <string>

#include "flutter/plugin_registry.h"

namespace orv::test {

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
