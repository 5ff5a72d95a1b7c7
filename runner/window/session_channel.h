#pragma once
// "orv.net/windows_session": facts about the Windows session and the main
// window that the interface cannot learn by itself.

#include <flutter/binary_messenger.h>
#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>

#include <memory>
#include <optional>

#include "runner/window/win32_window.h"

namespace orv {

// Answers every call exactly once; arguments are ignored.
std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> CreateSessionChannel(
    flutter::BinaryMessenger* messenger, Win32Window& window);

// The theme of the user at the desktop: true (light), false (dark) or unknown.
std::optional<bool> SystemUsesLightTheme();

}  // namespace orv
