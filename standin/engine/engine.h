#pragma once
// The stand-in engine: its messenger, plug-in registrars, view, Direct3D
// device and interface script. The C structures named by the engine's
// interface are defined here.

#include <windows.h>

#include <d3d11.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "flutter_standin.h"
#include "native/common/com_ptr.h"
#include "standin/engine/platform_tasks.h"

namespace standin {
class ScriptRunner;
}

struct FlutterDesktopMessenger {
  std::atomic<int> references{1};
  std::recursive_mutex lock;     // held by FlutterDesktopMessengerLock callers too
  FlutterDesktopEngine* engine;  // null once the engine is gone

  explicit FlutterDesktopMessenger(FlutterDesktopEngine* owner) : engine(owner) {}
};

struct FlutterDesktopPluginRegistrar {
  FlutterDesktopEngine* engine;
  std::string name;
  FlutterDesktopOnPluginRegistrarDestroyed onDestroyed = nullptr;
};

struct FlutterDesktopView {
  FlutterDesktopEngine* engine = nullptr;
  HWND window = nullptr;
};

struct FlutterDesktopViewController {
  FlutterDesktopEngine* engine = nullptr;  // owned
  std::unique_ptr<FlutterDesktopView> view;
};

struct FlutterDesktopEngine {
 public:
  explicit FlutterDesktopEngine(const FlutterDesktopEngineProperties& properties);
  ~FlutterDesktopEngine();

  bool Run();
  bool running() const { return running_; }
  const std::string& window() const { return window_; }
  bool isMain() const { return main_; }
  FlutterDesktopMessenger* messenger() const { return messenger_; }
  standin::PlatformTasks& tasks() { return tasks_; }
  FlutterDesktopView* view() const { return view_; }

  // The view controller attaches its view; the script starts with the main view.
  void AttachView(FlutterDesktopView* view);
  void OnFrameDrawn();
  void SetNextFrameCallback(VoidCallback callback, void* userData);
  void ReloadSystemFonts();
  bool GraphicsAdapter(IDXGIAdapter** adapter) const;

  FlutterDesktopPluginRegistrar* Registrar(const char* name);
  void RecordPluginRegistration(const char* name);
  void AddWindowProcDelegate(FlutterDesktopPluginRegistrar* registrar, FlutterDesktopWindowProcCallback callback,
                             void* userData);
  void RemoveWindowProcDelegate(FlutterDesktopPluginRegistrar* registrar, FlutterDesktopWindowProcCallback callback);
  bool OfferWindowMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

  // Messages from the interface to the host, and the answers.
  void SetHandler(const char* channel, FlutterDesktopMessageCallback callback, void* userData);
  void Deliver(const char* channel, const uint8_t* message, size_t size, FlutterStandinReply reply, void* userData);
  void Respond(const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data, size_t size);
  // Messages from the host to the interface, which has no handlers: answered empty.
  bool SendToInterface(FlutterDesktopBinaryReply reply, void* userData);

 private:
  struct Handler {
    FlutterDesktopMessageCallback callback;
    void* userData;
  };
  struct Pending {
    FlutterStandinReply reply;
    void* userData;
  };
  struct Delegate {
    FlutterDesktopPluginRegistrar* registrar;
    FlutterDesktopWindowProcCallback callback;
    void* userData;
  };

  void CreateDevice();
  bool TakePending(const FlutterDesktopMessageResponseHandle* handle, Pending& pending);

  std::wstring assets_;
  std::wstring icu_;
  std::wstring aot_;
  std::vector<std::string> arguments_;

  bool running_ = false;
  bool main_ = false;
  std::string window_ = "main";
  standin::PlatformTasks tasks_;
  FlutterDesktopMessenger* messenger_;
  FlutterDesktopView* view_ = nullptr;
  orv::ComPtr<ID3D11Device> device_;

  std::mutex mutex_;  // handlers, pending answers
  std::map<std::string, Handler> handlers_;
  std::map<uintptr_t, Pending> pending_;
  uintptr_t nextHandle_ = 1;

  std::vector<std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars_;
  int pluginRegistrations_ = 0;
  std::vector<Delegate> delegates_;

  bool frameDrawn_ = false;
  VoidCallback nextFrame_ = nullptr;
  void* nextFrameData_ = nullptr;

  std::unique_ptr<standin::ScriptRunner> script_;
};
