#pragma once
// Channel "orv.net/ticket_image_picker": native file dialogs for ticket images,
// programs and the referral poster, and the program metadata reader. Each call
// runs on a dialog thread of its own and is answered on the platform thread
// when its completion reaches the top-level window. One call at a time.

#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>
#include <flutter/plugin_registrar_windows.h>
#include <flutter/plugin_registry.h>
#include <flutter_messenger.h>
#include <windows.h>

#include <memory>
#include <optional>

#include "runner/ticket_picker/picker_state.h"

namespace orv {

class TicketImagePicker : public flutter::Plugin {
 public:
  static void RegisterWithRegistrar(flutter::PluginRegistrarWindows* registrar);

  explicit TicketImagePicker(flutter::PluginRegistrarWindows* registrar);
  ~TicketImagePicker() override;
  TicketImagePicker(const TicketImagePicker&) = delete;
  TicketImagePicker& operator=(const TicketImagePicker&) = delete;

 private:
  using MethodResult = flutter::MethodResult<flutter::EncodableValue>;

  void HandleMethodCall(const flutter::MethodCall<flutter::EncodableValue>& call,
                        std::unique_ptr<MethodResult> result);
  // False (after answering) when the call's arguments are refused.
  [[nodiscard]] bool TakeArguments(const flutter::MethodCall<flutter::EncodableValue>& call, MethodResult& result);
  void Start(std::unique_ptr<MethodResult> result);
  std::optional<LRESULT> HandleWindowMessage(UINT message, WPARAM wparam);
  void Complete();
  HWND OwnerWindow();

  flutter::PluginRegistrarWindows* registrar_;
  FlutterDesktopMessengerRef messenger_ = nullptr;
  std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> channel_;
  int windowProcId_ = -1;
  std::shared_ptr<PickerState> state_;
  std::unique_ptr<MethodResult> pending_;
};

// Registers the picker (registrar "OrvTicketImagePicker") with a window's
// engine.
void RegisterTicketImagePicker(flutter::PluginRegistry* registry);

}  // namespace orv
