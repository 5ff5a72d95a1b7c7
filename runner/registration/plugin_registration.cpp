#include "runner/registration/plugin_registration.h"

#include <flutter_plugin_registrar.h>

#include "runner/logging/runtime_log_policy.h"
#include "runner/ticket_picker/ticket_image_picker.h"
#include "runner/window_corner/window_corner_plugin.h"

extern "C" {
void DesktopMultiWindowPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void FileSelectorWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void FlutterImePluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void FlutterTimezonePluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void MediaKitLibsWindowsVideoPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void MediaKitVideoPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void PasteboardPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void TrayManagerPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void UrlLauncherWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void WebviewAllWindowsPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void WindowManagerPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void WindowsSingleInstancePluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void DesktopMultiWindowSetWindowCreatedCallback(void (*callback)(void* viewController));
}

namespace orv {
namespace {

using RegisterFn = void (*)(FlutterDesktopPluginRegistrarRef);

struct OutsidePlugin {
  const char* registrarName;
  RegisterFn registerWithRegistrar;
};

constexpr OutsidePlugin kMultiWindow{"DesktopMultiWindowPlugin", DesktopMultiWindowPluginRegisterWithRegistrar};
constexpr OutsidePlugin kFileSelector{"FileSelectorWindows", FileSelectorWindowsRegisterWithRegistrar};
constexpr OutsidePlugin kIme{"FlutterImePluginCApi", FlutterImePluginCApiRegisterWithRegistrar};
constexpr OutsidePlugin kTimezone{"FlutterTimezonePluginCApi", FlutterTimezonePluginCApiRegisterWithRegistrar};
constexpr OutsidePlugin kMediaLibs{"MediaKitLibsWindowsVideoPluginCApi",
                                   MediaKitLibsWindowsVideoPluginCApiRegisterWithRegistrar};
constexpr OutsidePlugin kMediaVideo{"MediaKitVideoPluginCApi", MediaKitVideoPluginCApiRegisterWithRegistrar};
constexpr OutsidePlugin kPasteboard{"PasteboardPlugin", PasteboardPluginRegisterWithRegistrar};
constexpr OutsidePlugin kScreenRetriever{"ScreenRetrieverWindowsPluginCApi",
                                         ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar};
constexpr OutsidePlugin kTrayManager{"TrayManagerPlugin", TrayManagerPluginRegisterWithRegistrar};
constexpr OutsidePlugin kUrlLauncher{"UrlLauncherWindows", UrlLauncherWindowsRegisterWithRegistrar};
constexpr OutsidePlugin kWebview{"WebviewAllWindowsPlugin", WebviewAllWindowsPluginRegisterWithRegistrar};
constexpr OutsidePlugin kWindowManager{"WindowManagerPlugin", WindowManagerPluginRegisterWithRegistrar};
constexpr OutsidePlugin kSingleInstance{"WindowsSingleInstancePlugin",
                                        WindowsSingleInstancePluginRegisterWithRegistrar};

constexpr OutsidePlugin kMainPlugins[] = {
    kMultiWindow, kFileSelector, kIme,          kTimezone,     kMediaLibs,     kMediaVideo,     kPasteboard,
    kScreenRetriever, kTrayManager, kUrlLauncher, kWebview, kWindowManager, kSingleInstance,
};

constexpr OutsidePlugin kSecondaryPlugins[] = {
    kFileSelector, kIme, kTimezone, kPasteboard, kScreenRetriever, kWebview, kWindowManager,
};

template <size_t N>
void RegisterAll(flutter::PluginRegistry* registry, const OutsidePlugin (&plugins)[N]) {
  for (const auto& plugin : plugins) plugin.registerWithRegistrar(registry->GetRegistrarForPlugin(plugin.registrarName));
}

}  // namespace

void RegisterMainPlugins(flutter::PluginRegistry* registry) {
  RegisterAll(registry, kMainPlugins);
  RegisterRuntimeLogPolicy(registry);
  RegisterTicketImagePicker(registry);
}

void RegisterMainCornerPlugin(flutter::PluginRegistry* registry) { RegisterWindowCornerPlugin(registry); }

void RegisterSecondaryPlugins(flutter::PluginRegistry* registry) {
  RegisterRuntimeLogPolicy(registry);
  RegisterWindowCornerPlugin(registry);
  RegisterTicketImagePicker(registry);
  RegisterAll(registry, kSecondaryPlugins);
}

void HookSecondaryWindows(SecondaryWindowCallback callback) { DesktopMultiWindowSetWindowCreatedCallback(callback); }

}  // namespace orv
