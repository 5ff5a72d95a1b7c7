#include "runner/system_plugins.h"

namespace orv {

void RegisterWindowCornerPlugin(flutter::PluginRegistry*) {}

void RegisterTicketImagePicker(flutter::PluginRegistry*) {}

}  // namespace orv
