#pragma once

#include <flutter_plugin_registrar.h>

#include <map>
#include <memory>
#include <set>

#include "flutter/binary_messenger.h"

namespace flutter {

class Plugin {
 public:
  virtual ~Plugin() = default;
};

// The client side of one engine registrar. Owns the plug-ins added to it.
class PluginRegistrar {
 public:
  explicit PluginRegistrar(FlutterDesktopPluginRegistrarRef core_registrar);
  virtual ~PluginRegistrar();
  PluginRegistrar(const PluginRegistrar&) = delete;
  PluginRegistrar& operator=(const PluginRegistrar&) = delete;

  BinaryMessenger* messenger() { return messenger_.get(); }
  void AddPlugin(std::unique_ptr<Plugin> plugin);
  FlutterDesktopPluginRegistrarRef registrar() const { return registrar_; }

 protected:
  // Destroys the plug-ins now. A derived registrar calls it first in its
  // destructor: plug-ins reach its members (delegates, view) as they go.
  void ClearPlugins() { plugins_.clear(); }

  FlutterDesktopPluginRegistrarRef registrar_;
  std::unique_ptr<BinaryMessenger> messenger_;

 private:
  std::set<std::unique_ptr<Plugin>> plugins_;
};

// One client registrar per engine registrar, destroyed with the engine's.
class PluginRegistrarManager {
 public:
  static PluginRegistrarManager* GetInstance();

  template <class T>
  T* GetRegistrar(FlutterDesktopPluginRegistrarRef registrar_ref) {
    auto found = registrars_.find(registrar_ref);
    if (found != registrars_.end()) return static_cast<T*>(found->second.get());
    auto created = std::make_unique<T>(registrar_ref);
    T* raw = created.get();
    registrars_[registrar_ref] = std::move(created);
    FlutterDesktopPluginRegistrarSetDestructionHandler(registrar_ref, &PluginRegistrarManager::OnRegistrarDestroyed);
    return raw;
  }

  void Reset() { registrars_.clear(); }

 private:
  PluginRegistrarManager() = default;
  static void OnRegistrarDestroyed(FlutterDesktopPluginRegistrarRef registrar);

  std::map<FlutterDesktopPluginRegistrarRef, std::unique_ptr<PluginRegistrar>> registrars_;
};

}  // namespace flutter
