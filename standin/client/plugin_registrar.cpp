#include "flutter/plugin_registrar.h"

#include "flutter/plugin_registrar_windows.h"
#include "standin/client/binary_messenger_impl.h"

namespace flutter {

PluginRegistrar::PluginRegistrar(FlutterDesktopPluginRegistrarRef core_registrar)
    : registrar_(core_registrar),
      messenger_(std::make_unique<BinaryMessengerImpl>(FlutterDesktopPluginRegistrarGetMessenger(core_registrar))) {}

PluginRegistrar::~PluginRegistrar() {
  // Plug-ins first: they may still use the messenger as they go.
  plugins_.clear();
}

void PluginRegistrar::AddPlugin(std::unique_ptr<Plugin> plugin) { plugins_.insert(std::move(plugin)); }

PluginRegistrarManager* PluginRegistrarManager::GetInstance() {
  static PluginRegistrarManager* instance = new PluginRegistrarManager();
  return instance;
}

void PluginRegistrarManager::OnRegistrarDestroyed(FlutterDesktopPluginRegistrarRef registrar) {
  // Take the entry out before destroying it, so plug-ins that reach the manager
  // while they go see a consistent map.
  auto& registrars = GetInstance()->registrars_;
  auto found = registrars.find(registrar);
  if (found == registrars.end()) return;
  std::unique_ptr<PluginRegistrar> doomed = std::move(found->second);
  registrars.erase(found);
}

PluginRegistrarWindows::PluginRegistrarWindows(FlutterDesktopPluginRegistrarRef core_registrar)
    : PluginRegistrar(core_registrar) {}

PluginRegistrarWindows::~PluginRegistrarWindows() {
  ClearPlugins();
  if (!delegates_.empty()) {
    FlutterDesktopPluginRegistrarUnregisterTopLevelWindowProcDelegate(registrar_, &OnTopLevelWindowProc);
  }
}

FlutterView* PluginRegistrarWindows::GetView() {
  if (!view_) {
    FlutterDesktopViewRef view = FlutterDesktopPluginRegistrarGetView(registrar_);
    if (view != nullptr) view_ = std::make_unique<FlutterView>(view);
  }
  return view_.get();
}

int PluginRegistrarWindows::RegisterTopLevelWindowProcDelegate(WindowProcDelegate delegate) {
  if (delegates_.empty()) {
    FlutterDesktopPluginRegistrarRegisterTopLevelWindowProcDelegate(registrar_, &OnTopLevelWindowProc, this);
  }
  const int id = next_delegate_id_++;
  delegates_[id] = std::move(delegate);
  return id;
}

void PluginRegistrarWindows::UnregisterTopLevelWindowProcDelegate(int proc_id) {
  delegates_.erase(proc_id);
  if (delegates_.empty()) {
    FlutterDesktopPluginRegistrarUnregisterTopLevelWindowProcDelegate(registrar_, &OnTopLevelWindowProc);
  }
}

bool PluginRegistrarWindows::OnTopLevelWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                                  void* user_data, LRESULT* result) {
  try {
    auto* self = static_cast<PluginRegistrarWindows*>(user_data);
    // A delegate may unregister itself while it runs.
    const std::map<int, WindowProcDelegate> delegates = self->delegates_;
    for (const auto& [id, delegate] : delegates) {
      std::optional<LRESULT> handled = delegate(hwnd, message, wparam, lparam);
      if (handled) {
        *result = *handled;
        return true;
      }
    }
  } catch (...) {
    // A failing delegate leaves the message to the window.
  }
  return false;
}

}  // namespace flutter
