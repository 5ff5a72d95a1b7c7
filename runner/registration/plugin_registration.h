#pragma once
// The outside plug-ins of the main and the secondary windows, registered in
// the order the interface was built with.

#include <flutter/plugin_registry.h>

namespace orv {

void RegisterMainPlugins(flutter::PluginRegistry* registry);

// The system's own plug-ins first, then the outside plug-ins a secondary
// window uses.
void RegisterSecondaryPlugins(flutter::PluginRegistry* registry);

// The multi-window plug-in calls this with each secondary window's
// FlutterViewController, on the platform thread.
using SecondaryWindowCallback = void (*)(void* viewController);
void HookSecondaryWindows(SecondaryWindowCallback callback);

}  // namespace orv
