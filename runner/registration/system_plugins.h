#pragma once
// Registration steps of the system's own window plug-ins that each window
// engine gets.

#include <flutter/plugin_registry.h>

namespace orv {

// Window corners ("orv.net/window_corner"), registrar "OrvWindowCorner";
// defined with its plug-in in runner/window_corner/window_corner_plugin.cpp.
void RegisterWindowCornerPlugin(flutter::PluginRegistry* registry);

// Ticket image picker ("orv.net/ticket_image_picker"), registrar
// "OrvTicketImagePicker"; defined with its plug-in in
// runner/ticket_picker/ticket_image_picker.cpp.
void RegisterTicketImagePicker(flutter::PluginRegistry* registry);

}  // namespace orv
