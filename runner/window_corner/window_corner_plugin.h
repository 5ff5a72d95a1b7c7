#pragma once
// Channel "orv.net/window_corner": the interface asks for the smooth corner
// edge of its top-level window (method "configure"). One plug-in per engine.

#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>
#include <flutter/plugin_registrar_windows.h>
#include <flutter/plugin_registry.h>
#include <flutter_messenger.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "runner/window_corner/smooth_window_edge.h"

namespace orv {

// Colours as 0xRRGGBB (the low 24 bits of what the interface sent).
struct CornerColors {
  std::uint32_t border = 0;
  std::uint32_t fill = 0;
  std::uint32_t shadow = 0;
};

struct CornerConfiguration {
  bool enabled = false;
  CornerColors colors;
};

// A configure call's map; nullopt when a key is missing or not of its exact
// codec type (a codec bool, 32-bit integers). Other keys are ignored.
std::optional<CornerConfiguration> ReadCornerConfiguration(const flutter::EncodableMap& arguments);

class OrvWindowCornerPlugin : public flutter::Plugin {
 public:
  static void RegisterWithRegistrar(flutter::PluginRegistrarWindows* registrar);

  OrvWindowCornerPlugin(flutter::PluginRegistrarWindows* registrar, FlutterDesktopMessengerRef messenger);
  ~OrvWindowCornerPlugin() override;
  OrvWindowCornerPlugin(const OrvWindowCornerPlugin&) = delete;
  OrvWindowCornerPlugin& operator=(const OrvWindowCornerPlugin&) = delete;

 private:
  using MethodResult = flutter::MethodResult<flutter::EncodableValue>;

  void HandleMethodCall(const flutter::MethodCall<flutter::EncodableValue>& call,
                        std::unique_ptr<MethodResult> result);
  void Configure(const flutter::EncodableValue* arguments, MethodResult& result);
  // Creates the edge on first use and configures it; drops it when it fails.
  void ShowSmoothEdge(HWND window, const CornerColors& colors);
  // The window that holds this engine's view, or null when the view is not
  // (yet) inside a separate top-level window.
  HWND TopLevelWindow();

  flutter::PluginRegistrarWindows* registrar_;
  FlutterDesktopMessengerRef messenger_;
  std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> channel_;
  std::unique_ptr<SmoothWindowEdge> edge_;  // at most one, for the top-level window
};

// Registers the corner plug-in (registrar "OrvWindowCorner") with a window's
// engine.
void RegisterWindowCornerPlugin(flutter::PluginRegistry* registry);

}  // namespace orv
