// The one source of every stand-in plug-in library: the register export named
// by STANDIN_PLUGIN_EXPORT records the registration (STANDIN_PLUGIN_NAME) and
// hands the registrar to the library's own behaviour.

#include <flutter_standin.h>

#include "standin/plugins/standin_plugin.h"

extern "C" __declspec(dllexport) void STANDIN_PLUGIN_EXPORT(FlutterDesktopPluginRegistrarRef registrar) {
  try {
    if (registrar == nullptr) return;
    FlutterStandinRecordPluginRegistration(registrar, STANDIN_PLUGIN_NAME);
    standin::AddStandinPlugin(
        flutter::PluginRegistrarManager::GetInstance()->GetRegistrar<flutter::PluginRegistrarWindows>(registrar));
  } catch (...) {
    // Registration is best effort; nothing crosses the export.
  }
}
