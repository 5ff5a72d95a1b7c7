#pragma once
// The host window specialised for the engine: starts it, checks its adapter,
// registers the plug-ins and channels, and embeds its view.

#include <flutter/dart_project.h>
#include <flutter/encodable_value.h>
#include <flutter/flutter_view_controller.h>
#include <flutter/method_channel.h>

#include <memory>

#include "runner/window/win32_window.h"

namespace orv {

// Shared by the window and the engine's next-frame callback; lives until the
// later of the two lets go.
struct StartupFrameState {
  bool active = true;
  bool firstFrameDrawn = false;
};

// The first-frame watchdog's timer calls; tests replace them to see the
// window cope with a timer it cannot get.
struct WatchdogTimerCalls {
  decltype(&::SetTimer) setTimer = &::SetTimer;
  decltype(&::KillTimer) killTimer = &::KillTimer;
};

class FlutterWindow : public Win32Window {
 public:
  explicit FlutterWindow(const flutter::DartProject& project, const WatchdogTimerCalls& timers = {});
  ~FlutterWindow() override;

  // Handed to the multi-window plug-in: each secondary window's controller.
  static void OnSecondaryWindowCreated(void* viewController);

 protected:
  [[nodiscard]] bool OnCreated() override;
  void OnDestroying() override;
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept override;

 private:
  void ArmFirstFrameWatchdog();
  void TearDown();

  flutter::DartProject project_;
  WatchdogTimerCalls timers_;
  std::unique_ptr<flutter::FlutterViewController> controller_;
  std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> sessionChannel_;
  std::shared_ptr<StartupFrameState> frameState_;
  UINT_PTR watchdogTimer_ = 0;
  bool shownRecorded_ = false;
};

// "ORVF" read as a big-endian 32-bit number.
inline constexpr UINT_PTR kFirstFrameWatchdogId = 0x4F525646;
inline constexpr UINT kFirstFrameWatchdogMs = 5000;

}  // namespace orv
