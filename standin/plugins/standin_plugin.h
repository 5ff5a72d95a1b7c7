#pragma once
// What each stand-in plug-in library does once its registration is recorded.

#include "flutter/plugin_registrar_windows.h"

namespace standin {

void AddStandinPlugin(flutter::PluginRegistrarWindows* registrar);

}  // namespace standin
