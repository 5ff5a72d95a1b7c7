// The multi-window stand-in: opens a secondary view window when asked on its
// channel and hands the window's view controller to the host's callback, on
// the platform thread. The windows live as long as the plug-in or until closed.

#include <memory>
#include <vector>

#include "flutter/flutter_view_controller.h"
#include "flutter/method_channel.h"
#include "flutter/standard_method_codec.h"
#include "standin/plugins/standin_plugin.h"

typedef void (*WindowCreatedCallback)(void* flutter_view_controller);

namespace standin {
namespace {

constexpr wchar_t kWindowClass[] = L"StandinSecondaryWindow";
constexpr char kChannel[] = "mixin.one/flutter_multi_window";

WindowCreatedCallback g_windowCreated = nullptr;

HMODULE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

class SecondaryWindow {
 public:
  SecondaryWindow() = default;
  ~SecondaryWindow() {
    if (window_ != nullptr) ::DestroyWindow(window_);
    controller_.reset();
  }
  SecondaryWindow(const SecondaryWindow&) = delete;
  SecondaryWindow& operator=(const SecondaryWindow&) = delete;

  bool Open(int id) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &SecondaryWindow::WindowProc;
    windowClass.hInstance = ThisModule();
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassW(&windowClass);
    const std::wstring title = L"Secondary " + std::to_wstring(id);
    window_ = ::CreateWindowExW(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 480,
                                320, nullptr, nullptr, windowClass.hInstance, this);
    if (window_ == nullptr) return false;
    RECT client;
    ::GetClientRect(window_, &client);
    controller_ = std::make_unique<flutter::FlutterViewController>(client.right, client.bottom,
                                                                    flutter::DartProject(L"data"));
    if (controller_->engine() == nullptr || controller_->view() == nullptr) return false;
    HWND view = controller_->view()->GetNativeWindow();
    ::SetParent(view, window_);
    ::MoveWindow(view, 0, 0, client.right, client.bottom, TRUE);
    ::ShowWindow(window_, SW_SHOWNOACTIVATE);
    return true;
  }

  flutter::FlutterViewController* controller() const { return controller_.get(); }
  bool closed() const { return window_ == nullptr; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    try {
      if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      }
      auto* self = reinterpret_cast<SecondaryWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
      if (self != nullptr) return self->Handle(window, message, wparam, lparam);
    } catch (...) {
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }

  LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (controller_) {
      if (std::optional<LRESULT> handled = controller_->HandleTopLevelWindowProc(window, message, wparam, lparam))
        return *handled;
    }
    switch (message) {
      case WM_SIZE:
        if (controller_ && controller_->view() != nullptr) {
          ::MoveWindow(controller_->view()->GetNativeWindow(), 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
        }
        return 0;
      case WM_DESTROY:
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        window_ = nullptr;
        controller_.reset();
        return 0;
      default:
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
  }

  HWND window_ = nullptr;
  std::unique_ptr<flutter::FlutterViewController> controller_;
};

class MultiWindowPlugin : public flutter::Plugin {
 public:
  explicit MultiWindowPlugin(flutter::PluginRegistrarWindows* registrar)
      : channel_(registrar->messenger(), kChannel, &flutter::StandardMethodCodec::GetInstance()) {
    channel_.SetMethodCallHandler([this](const auto& call, auto result) { Handle(call, std::move(result)); });
  }
  ~MultiWindowPlugin() override {
    channel_.SetMethodCallHandler(nullptr);
    windows_.clear();
  }

 private:
  void Handle(const flutter::MethodCall<flutter::EncodableValue>& call,
              std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result) {
    if (call.method_name() != "createWindow") {
      result->NotImplemented();
      return;
    }
    auto window = std::make_unique<SecondaryWindow>();
    const int id = nextId_++;
    if (!window->Open(id)) {
      result->Error("window_failed", "The secondary window could not be created.");
      return;
    }
    SecondaryWindow* opened = window.get();
    windows_.push_back(std::move(window));
    if (g_windowCreated != nullptr) g_windowCreated(opened->controller());
    result->Success(flutter::EncodableValue(int32_t{id}));
  }

  flutter::MethodChannel<flutter::EncodableValue> channel_;
  std::vector<std::unique_ptr<SecondaryWindow>> windows_;
  int nextId_ = 1;
};

}  // namespace

void AddStandinPlugin(flutter::PluginRegistrarWindows* registrar) {
  registrar->AddPlugin(std::make_unique<MultiWindowPlugin>(registrar));
}

}  // namespace standin

extern "C" __declspec(dllexport) void DesktopMultiWindowSetWindowCreatedCallback(WindowCreatedCallback callback) {
  standin::g_windowCreated = callback;
}
