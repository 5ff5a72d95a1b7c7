#include "runner/window_corner/window_corner_plugin.h"

#include <flutter/plugin_registrar.h>
#include <flutter/standard_method_codec.h>

#include <new>

#include "runner/window_corner/window_corners.h"

namespace orv {
namespace {

constexpr char kChannelName[] = "orv.net/window_corner";
constexpr char kRegistrarName[] = "OrvWindowCorner";
constexpr std::uint32_t kRgbMask = 0xFFFFFF;

using flutter::EncodableMap;
using flutter::EncodableValue;

template <typename T>
const T* FindAs(const EncodableMap& map, const char* key) {
  const auto it = map.find(EncodableValue(key));
  return it == map.end() ? nullptr : std::get_if<T>(&it->second);
}

}  // namespace

std::optional<CornerConfiguration> ReadCornerConfiguration(const EncodableMap& arguments) {
  const bool* enabled = FindAs<bool>(arguments, "enabled");
  const std::int32_t* border = FindAs<std::int32_t>(arguments, "borderRgb");
  const std::int32_t* fill = FindAs<std::int32_t>(arguments, "fillRgb");
  const std::int32_t* shadow = FindAs<std::int32_t>(arguments, "shadowRgb");
  if (enabled == nullptr || border == nullptr || fill == nullptr || shadow == nullptr) return std::nullopt;
  const auto rgb = [](std::int32_t value) { return static_cast<std::uint32_t>(value) & kRgbMask; };
  return CornerConfiguration{*enabled, {rgb(*border), rgb(*fill), rgb(*shadow)}};
}

OrvWindowCornerPlugin::OrvWindowCornerPlugin(flutter::PluginRegistrarWindows* registrar,
                                             FlutterDesktopMessengerRef messenger)
    : registrar_(registrar), messenger_(messenger) {
  if (messenger_ != nullptr) FlutterDesktopMessengerAddRef(messenger_);
  channel_ = std::make_unique<flutter::MethodChannel<EncodableValue>>(
      registrar->messenger(), kChannelName, &flutter::StandardMethodCodec::GetInstance());
  channel_->SetMethodCallHandler(
      [this](const auto& call, auto result) { HandleMethodCall(call, std::move(result)); });
}

OrvWindowCornerPlugin::~OrvWindowCornerPlugin() {
  if (messenger_ != nullptr && FlutterDesktopMessengerIsAvailable(messenger_)) {
    channel_->SetMethodCallHandler(nullptr);
  }
  edge_.reset();
  channel_.reset();
  if (messenger_ != nullptr) FlutterDesktopMessengerRelease(messenger_);
}

void OrvWindowCornerPlugin::RegisterWithRegistrar(flutter::PluginRegistrarWindows* registrar) {
  FlutterDesktopMessengerRef messenger = FlutterDesktopPluginRegistrarGetMessenger(registrar->registrar());
  registrar->AddPlugin(std::make_unique<OrvWindowCornerPlugin>(registrar, messenger));
}

void OrvWindowCornerPlugin::HandleMethodCall(const flutter::MethodCall<EncodableValue>& call,
                                             std::unique_ptr<MethodResult> result) {
  if (call.method_name() != "configure") {
    result->NotImplemented();
    return;
  }
  Configure(call.arguments(), *result);
}

void OrvWindowCornerPlugin::Configure(const EncodableValue* arguments, MethodResult& result) {
  const auto* map = arguments != nullptr ? std::get_if<EncodableMap>(arguments) : nullptr;
  if (map == nullptr) {
    result.Error("invalid_arguments", "Expected corner configuration.");
    return;
  }
  const std::optional<CornerConfiguration> configuration = ReadCornerConfiguration(*map);
  if (!configuration) {
    result.Error("invalid_arguments", "Expected enabled and RGB colors.");
    return;
  }
  if (!configuration->enabled || UseNativeCorners()) {
    edge_.reset();
    result.Success(EncodableValue(false));
    return;
  }
  HWND window = TopLevelWindow();
  if (window == nullptr) {
    edge_.reset();
    result.Error("window_unavailable", "Top-level window is not ready.");
    return;
  }
  ShowSmoothEdge(window, configuration->colors);
  // The legacy region stands in when the smooth edge cannot be shown.
  result.Success(EncodableValue(true));
}

void OrvWindowCornerPlugin::ShowSmoothEdge(HWND window, const CornerColors& colors) {
  if (!edge_) {
    // Fallback mode with the legacy region: the state the smooth edge starts
    // from, and the one the window keeps when no edge can be shown.
    ApplyWindowCorners(window, true);
    edge_ = std::unique_ptr<SmoothWindowEdge>(new (std::nothrow) SmoothWindowEdge(window));
    if (!edge_) return;
  }
  if (!edge_->Configure(colors.border, colors.fill, colors.shadow)) edge_.reset();
}

HWND OrvWindowCornerPlugin::TopLevelWindow() {
  flutter::FlutterView* view = registrar_->GetView();
  if (view == nullptr) return nullptr;
  HWND content = view->GetNativeWindow();
  if (content == nullptr) return nullptr;
  HWND root = ::GetAncestor(content, GA_ROOT);
  if (root == nullptr || !::IsWindow(root) || root == content) return nullptr;
  return root;
}

void RegisterWindowCornerPlugin(flutter::PluginRegistry* registry) {
  FlutterDesktopPluginRegistrarRef registrar = registry->GetRegistrarForPlugin(kRegistrarName);
  if (registrar == nullptr) return;
  OrvWindowCornerPlugin::RegisterWithRegistrar(
      flutter::PluginRegistrarManager::GetInstance()->GetRegistrar<flutter::PluginRegistrarWindows>(registrar));
}

}  // namespace orv
