#pragma once

#include <flutter_windows.h>
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "flutter/flutter_view.h"
#include "flutter/plugin_registrar.h"

namespace flutter {

// Sees the top-level window's messages before the engine; an answer consumes the message.
using WindowProcDelegate = std::function<std::optional<LRESULT>(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)>;

class PluginRegistrarWindows : public PluginRegistrar {
 public:
  explicit PluginRegistrarWindows(FlutterDesktopPluginRegistrarRef core_registrar);
  ~PluginRegistrarWindows() override;

  // Null before the engine has a view.
  FlutterView* GetView();

  int RegisterTopLevelWindowProcDelegate(WindowProcDelegate delegate);
  void UnregisterTopLevelWindowProcDelegate(int proc_id);

 private:
  static bool OnTopLevelWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, void* user_data,
                                   LRESULT* result);

  std::unique_ptr<FlutterView> view_;
  std::map<int, WindowProcDelegate> delegates_;
  int next_delegate_id_ = 1;
};

}  // namespace flutter
