#pragma once

#include <flutter_plugin_registrar.h>

#include <string>

namespace flutter {

class PluginRegistry {
 public:
  PluginRegistry() = default;
  virtual ~PluginRegistry() = default;
  PluginRegistry(const PluginRegistry&) = delete;
  PluginRegistry& operator=(const PluginRegistry&) = delete;

  virtual FlutterDesktopPluginRegistrarRef GetRegistrarForPlugin(const std::string& plugin_name) = 0;
};

}  // namespace flutter
