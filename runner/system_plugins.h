#pragma once
// Registration steps of the system's own window plug-ins that each window
// engine gets.

#include <flutter/plugin_registry.h>

namespace orv {

// Window corners ("orv.net/window_corner"). Not built yet: registers nothing,
// so the interface's calls on that channel go unanswered by this process.
void RegisterWindowCornerPlugin(flutter::PluginRegistry* registry);

// Ticket image picker ("orv.net/ticket_image_picker"). Not built yet:
// registers nothing.
void RegisterTicketImagePicker(flutter::PluginRegistry* registry);

}  // namespace orv
