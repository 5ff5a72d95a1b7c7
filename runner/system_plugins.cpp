#include "runner/system_plugins.h"

namespace orv {

void RegisterTicketImagePicker(flutter::PluginRegistry*) {}

}  // namespace orv
