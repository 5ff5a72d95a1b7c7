#include "standin/engine/engine.h"

#include "native/common/text_conversion.h"
#include "standin/codec/transcript_lines.h"
#include "standin/engine/script_runner.h"
#include "standin/engine/transcript.h"
#include "standin/engine/view_window.h"

namespace {

// The first engine to run while no main engine exists is the main window's;
// the others belong to secondary windows.
std::mutex g_windowsMutex;
bool g_mainAlive = false;
int g_secondaryCount = 0;

std::string Utf8(const std::wstring& text) {
  std::string out;
  if (!orv::Utf16ToUtf8(text, out)) out.clear();
  return out;
}

}  // namespace

FlutterDesktopEngine::FlutterDesktopEngine(const FlutterDesktopEngineProperties& properties)
    : messenger_(new FlutterDesktopMessenger(this)) {
  if (properties.assets_path != nullptr) assets_ = properties.assets_path;
  if (properties.icu_data_path != nullptr) icu_ = properties.icu_data_path;
  if (properties.aot_library_path != nullptr) aot_ = properties.aot_library_path;
  if (properties.dart_entrypoint_argv != nullptr) {
    for (int i = 0; i < properties.dart_entrypoint_argc; ++i) {
      const char* argument = properties.dart_entrypoint_argv[i];
      arguments_.emplace_back(argument != nullptr ? argument : "");
    }
  }
}

FlutterDesktopEngine::~FlutterDesktopEngine() {
  script_.reset();  // the interface thread ends before anything it uses goes
  {
    std::lock_guard<std::recursive_mutex> lock(messenger_->lock);
    messenger_->engine = nullptr;
  }
  std::map<uintptr_t, Pending> unanswered;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    unanswered.swap(pending_);
    handlers_.clear();
  }
  for (auto& [handle, pending] : unanswered) {
    if (pending.reply != nullptr) pending.reply(kFlutterStandinNoEngine, nullptr, 0, pending.userData);
  }
  // Plug-ins go with their registrars, newest first.
  for (auto it = registrars_.rbegin(); it != registrars_.rend(); ++it) {
    if ((*it)->onDestroyed != nullptr) (*it)->onDestroyed(it->get());
  }
  registrars_.clear();
  delegates_.clear();
  device_.reset();
  if (main_) {
    std::lock_guard<std::mutex> lock(g_windowsMutex);
    g_mainAlive = false;
  }
  FlutterDesktopMessengerRelease(messenger_);
}

bool FlutterDesktopEngine::Run() {
  if (running_) return true;
  if (!tasks_.valid()) return false;
  running_ = true;
  {
    std::lock_guard<std::mutex> lock(g_windowsMutex);
    if (!g_mainAlive) {
      g_mainAlive = true;
      main_ = true;
      window_ = "main";
    } else {
      ++g_secondaryCount;
      window_ = g_secondaryCount == 1 ? "secondary" : "secondary" + std::to_string(g_secondaryCount);
    }
  }
  standin::WriteTranscriptLine(standin::EngineLine(window_, Utf8(assets_), Utf8(icu_), Utf8(aot_), arguments_));
  CreateDevice();
  return true;
}

void FlutterDesktopEngine::CreateDevice() {
  // Through the import table by name, so a patched import decides the driver.
  const UINT flags = D3D11_CREATE_DEVICE_BGRA_SUPPORT;
  HRESULT hr = ::D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, flags, nullptr, 0, D3D11_SDK_VERSION,
                                   device_.put(), nullptr, nullptr);
  if (FAILED(hr)) {
    hr = ::D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, flags, nullptr, 0, D3D11_SDK_VERSION,
                             device_.put(), nullptr, nullptr);
  }
  if (FAILED(hr)) device_.reset();
}

bool FlutterDesktopEngine::GraphicsAdapter(IDXGIAdapter** adapter) const {
  if (adapter == nullptr) return false;
  *adapter = nullptr;
  if (!device_) return false;
  orv::ComPtr<IDXGIDevice> dxgi;
  if (FAILED(device_.As(dxgi))) return false;
  return SUCCEEDED(dxgi->GetAdapter(adapter)) && *adapter != nullptr;
}

void FlutterDesktopEngine::AttachView(FlutterDesktopView* view) {
  view_ = view;
  if (main_ && view != nullptr && !script_) {
    script_ = std::make_unique<standin::ScriptRunner>(this);
    script_->Start();
  }
}

void FlutterDesktopEngine::OnFrameDrawn() {
  if (!frameDrawn_) {
    frameDrawn_ = true;
    standin::WriteTranscriptLine(standin::WindowEventLine("frame", window_));
  }
  VoidCallback callback = nextFrame_;
  void* userData = nextFrameData_;
  nextFrame_ = nullptr;
  nextFrameData_ = nullptr;
  if (callback != nullptr) callback(userData);
}

void FlutterDesktopEngine::SetNextFrameCallback(VoidCallback callback, void* userData) {
  standin::WriteTranscriptLine(standin::WindowEventLine("nextFrameCallback", window_));
  nextFrame_ = callback;
  nextFrameData_ = userData;
  if (frameDrawn_ && view_ != nullptr) standin::ScheduleNextFrame(view_->window);
}

void FlutterDesktopEngine::ReloadSystemFonts() {
  standin::WriteTranscriptLine(standin::WindowEventLine("reloadFonts", window_));
}

FlutterDesktopPluginRegistrar* FlutterDesktopEngine::Registrar(const char* name) {
  const std::string key = name != nullptr ? name : "";
  standin::WriteTranscriptLine(standin::RegistrarLine(key, window_));
  for (const auto& registrar : registrars_) {
    if (registrar->name == key) return registrar.get();
  }
  registrars_.push_back(std::make_unique<FlutterDesktopPluginRegistrar>(FlutterDesktopPluginRegistrar{this, key}));
  return registrars_.back().get();
}

void FlutterDesktopEngine::RecordPluginRegistration(const char* name) {
  ++pluginRegistrations_;
  standin::WriteTranscriptLine(standin::PluginLine(name != nullptr ? name : "", pluginRegistrations_, window_));
}

void FlutterDesktopEngine::AddWindowProcDelegate(FlutterDesktopPluginRegistrar* registrar,
                                                 FlutterDesktopWindowProcCallback callback, void* userData) {
  for (Delegate& delegate : delegates_) {
    if (delegate.registrar == registrar && delegate.callback == callback) {
      delegate.userData = userData;
      return;
    }
  }
  delegates_.push_back(Delegate{registrar, callback, userData});
}

void FlutterDesktopEngine::RemoveWindowProcDelegate(FlutterDesktopPluginRegistrar* registrar,
                                                    FlutterDesktopWindowProcCallback callback) {
  for (auto it = delegates_.begin(); it != delegates_.end(); ++it) {
    if (it->registrar == registrar && it->callback == callback) {
      delegates_.erase(it);
      return;
    }
  }
}

bool FlutterDesktopEngine::OfferWindowMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  // A delegate may unregister itself while it runs.
  const std::vector<Delegate> delegates = delegates_;
  for (const Delegate& delegate : delegates) {
    LRESULT handled = 0;
    if (delegate.callback(hwnd, message, wparam, lparam, delegate.userData, &handled)) {
      if (result != nullptr) *result = handled;
      return true;
    }
  }
  return false;
}

void FlutterDesktopEngine::SetHandler(const char* channel, FlutterDesktopMessageCallback callback, void* userData) {
  if (channel == nullptr) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (callback == nullptr) {
    handlers_.erase(channel);
  } else {
    handlers_[channel] = Handler{callback, userData};
    standin::WriteTranscriptLine(standin::ChannelLine(channel, window_));
  }
}

void FlutterDesktopEngine::Deliver(const char* channel, const uint8_t* message, size_t size, FlutterStandinReply reply,
                                   void* userData) {
  Handler handler{};
  uintptr_t handle = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = channel != nullptr ? handlers_.find(channel) : handlers_.end();
    if (found != handlers_.end()) {
      handler = found->second;
      handle = nextHandle_++;
      pending_[handle] = Pending{reply, userData};
    }
  }
  if (handler.callback == nullptr) {
    // Nobody listens on the channel: the answer is empty.
    if (reply != nullptr) reply(kFlutterStandinAnswered, nullptr, 0, userData);
    return;
  }
  FlutterDesktopMessage delivered = {};
  delivered.struct_size = sizeof delivered;
  delivered.channel = channel;
  delivered.message = message;
  delivered.message_size = size;
  delivered.response_handle = reinterpret_cast<const FlutterDesktopMessageResponseHandle*>(handle);
  handler.callback(messenger_, &delivered, handler.userData);
}

bool FlutterDesktopEngine::TakePending(const FlutterDesktopMessageResponseHandle* handle, Pending& pending) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = pending_.find(reinterpret_cast<uintptr_t>(handle));
  if (found == pending_.end()) return false;  // answered already, or never issued
  pending = found->second;
  pending_.erase(found);
  return true;
}

void FlutterDesktopEngine::Respond(const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
                                   size_t size) {
  Pending pending{};
  if (!TakePending(handle, pending) || pending.reply == nullptr) return;
  // The client library answers a call its handler dropped with no data at
  // all; every real answer, even an empty one, carries a buffer.
  if (data == nullptr) {
    pending.reply(kFlutterStandinUnanswered, nullptr, 0, pending.userData);
    return;
  }
  pending.reply(kFlutterStandinAnswered, data, size, pending.userData);
}

bool FlutterDesktopEngine::SendToInterface(FlutterDesktopBinaryReply reply, void* userData) {
  if (reply == nullptr) return true;
  return tasks_.Post([reply, userData] { reply(nullptr, 0, userData); });
}
