#include "runner/window/session_channel.h"

#include <flutter/standard_method_codec.h>

#include "runner/renderer/renderer_policy.h"

namespace orv {
namespace {

using flutter::EncodableValue;

constexpr char kChannelName[] = "orv.net/windows_session";

}  // namespace

std::optional<bool> SystemUsesLightTheme() {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                     L"SystemUsesLightTheme", RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value != 0;
}

std::unique_ptr<flutter::MethodChannel<EncodableValue>> CreateSessionChannel(flutter::BinaryMessenger* messenger,
                                                                            Win32Window& window) {
  auto channel = std::make_unique<flutter::MethodChannel<EncodableValue>>(
      messenger, kChannelName, &flutter::StandardMethodCodec::GetInstance());
  channel->SetMethodCallHandler([&window](const flutter::MethodCall<EncodableValue>& call,
                                          std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
    const std::string& method = call.method_name();
    if (method == "isRemoteSession") {
      result->Success(EncodableValue(IsRemoteSession()));
    } else if (method == "usesSoftwareRendering") {
      result->Success(EncodableValue(UsesSoftwareRendering()));
    } else if (method == "systemUsesLightTheme") {
      const std::optional<bool> light = SystemUsesLightTheme();
      result->Success(light ? EncodableValue(*light) : EncodableValue());
    } else if (method == "setTaskbarIcon") {
      result->Success(EncodableValue(window.UpdateWindowIcons()));
    } else {
      result->NotImplemented();
    }
  });
  return channel;
}

}  // namespace orv
