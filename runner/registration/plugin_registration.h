#pragma once
// Every window's plug-ins and their order: the outside plug-ins in the order
// the interface was built with, and the system's own around them.

#include <flutter/plugin_registry.h>

namespace orv {

// The main window's plug-ins but its corners: the outside plug-ins, then the
// log policy and the ticket picker.
void RegisterMainPlugins(flutter::PluginRegistry* registry);

// The main window's last plug-in, once its view is inside the window: the
// corners.
void RegisterMainCornerPlugin(flutter::PluginRegistry* registry);

// The system's own plug-ins first, then the outside plug-ins a secondary
// window uses.
void RegisterSecondaryPlugins(flutter::PluginRegistry* registry);

// The multi-window plug-in calls this with each secondary window's
// FlutterViewController, on the platform thread.
using SecondaryWindowCallback = void (*)(void* viewController);
void HookSecondaryWindows(SecondaryWindowCallback callback);

}  // namespace orv
