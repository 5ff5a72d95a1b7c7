#pragma once

#include <flutter_windows.h>

#include <memory>
#include <optional>

#include "flutter/dart_project.h"
#include "flutter/flutter_engine.h"
#include "flutter/flutter_view.h"

namespace flutter {

// An engine with its view; either both exist or neither does.
class FlutterViewController {
 public:
  FlutterViewController(int width, int height, const DartProject& project);
  virtual ~FlutterViewController();
  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  FlutterEngine* engine() const { return engine_.get(); }
  FlutterView* view() const { return view_.get(); }

  void ForceRedraw();

  // The engine's answer when it handled the top-level window's message.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

 private:
  FlutterDesktopViewControllerRef controller_ = nullptr;
  std::unique_ptr<FlutterEngine> engine_;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter
