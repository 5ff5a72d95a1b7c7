// The window-manager stand-in: channel "window_manager" shows, hides and
// closes the top-level window that holds the view.

#include <memory>

#include "flutter/method_channel.h"
#include "flutter/standard_method_codec.h"
#include "standin/plugins/standin_plugin.h"

namespace standin {
namespace {

class WindowManagerPlugin : public flutter::Plugin {
 public:
  explicit WindowManagerPlugin(flutter::PluginRegistrarWindows* registrar)
      : registrar_(registrar),
        channel_(registrar->messenger(), "window_manager", &flutter::StandardMethodCodec::GetInstance()) {
    channel_.SetMethodCallHandler([this](const auto& call, auto result) { Handle(call, std::move(result)); });
  }
  ~WindowManagerPlugin() override { channel_.SetMethodCallHandler(nullptr); }

 private:
  HWND TopLevel() {
    flutter::FlutterView* view = registrar_->GetView();
    HWND child = view != nullptr ? view->GetNativeWindow() : nullptr;
    HWND root = child != nullptr ? ::GetAncestor(child, GA_ROOT) : nullptr;
    return root != child ? root : nullptr;
  }

  void Handle(const flutter::MethodCall<flutter::EncodableValue>& call,
              std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result) {
    const std::string& method = call.method_name();
    if (method != "show" && method != "hide" && method != "close" && method != "isVisible") {
      result->NotImplemented();
      return;
    }
    HWND window = TopLevel();
    if (window == nullptr) {
      result->Error("no_window", "The view is not inside a top-level window.");
      return;
    }
    if (method == "isVisible") {
      result->Success(flutter::EncodableValue(::IsWindowVisible(window) != FALSE));
      return;
    }
    if (method == "show") {
      ::ShowWindow(window, SW_SHOW);
    } else if (method == "hide") {
      ::ShowWindow(window, SW_HIDE);
    } else {
      ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
    result->Success();
  }

  flutter::PluginRegistrarWindows* registrar_;
  flutter::MethodChannel<flutter::EncodableValue> channel_;
};

}  // namespace

void AddStandinPlugin(flutter::PluginRegistrarWindows* registrar) {
  registrar->AddPlugin(std::make_unique<WindowManagerPlugin>(registrar));
}

}  // namespace standin
