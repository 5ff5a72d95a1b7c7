#include "runner/ticket_picker/ticket_image_picker.h"

#include <flutter/plugin_registrar.h>
#include <flutter/standard_method_codec.h>

#include <string>

#include "runner/ticket_picker/cancel_window.h"
#include "runner/ticket_picker/dialog_thread.h"
#include "runner/ticket_picker/picker_answers.h"

namespace orv {
namespace {

constexpr char kChannelName[] = "orv.net/ticket_image_picker";
constexpr char kRegistrarName[] = "OrvTicketImagePicker";

using flutter::EncodableValue;

}  // namespace

TicketImagePicker::TicketImagePicker(flutter::PluginRegistrarWindows* registrar) : registrar_(registrar) {
  messenger_ = FlutterDesktopPluginRegistrarGetMessenger(registrar->registrar());
  if (messenger_ != nullptr) FlutterDesktopMessengerAddRef(messenger_);
  channel_ = std::make_unique<flutter::MethodChannel<EncodableValue>>(
      registrar->messenger(), kChannelName, &flutter::StandardMethodCodec::GetInstance());
  // Nothing may be thrown into the window procedure or the engine's callback.
  windowProcId_ = registrar->RegisterTopLevelWindowProcDelegate(
      [this](HWND, UINT message, WPARAM wparam, LPARAM) -> std::optional<LRESULT> {
        try {
          return HandleWindowMessage(message, wparam);
        } catch (...) {
          return std::nullopt;
        }
      });
  channel_->SetMethodCallHandler([this](const auto& call, auto result) {
    try {
      HandleMethodCall(call, std::move(result));
    } catch (...) {
      // Only exhausted memory gets here; the dropped call is ended by the engine.
    }
  });
}

TicketImagePicker::~TicketImagePicker() {
  if (messenger_ != nullptr && FlutterDesktopMessengerIsAvailable(messenger_)) {
    channel_->SetMethodCallHandler(nullptr);
  }
  if (windowProcId_ != -1) registrar_->UnregisterTopLevelWindowProcDelegate(windowProcId_);
  if (state_) {
    // The dialog thread sees the flag before it shows a dialog or posts; a
    // dialog already shown is closed through its cancel window.
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->cancelled = true;
    if (state_->cancelWindow != nullptr) ::PostMessageW(state_->cancelWindow, WM_CLOSE, 0, 0);
  }
  pending_.reset();
  state_.reset();
  channel_.reset();
  if (messenger_ != nullptr) FlutterDesktopMessengerRelease(messenger_);
}

void TicketImagePicker::RegisterWithRegistrar(flutter::PluginRegistrarWindows* registrar) {
  registrar->AddPlugin(std::make_unique<TicketImagePicker>(registrar));
}

void TicketImagePicker::HandleMethodCall(const flutter::MethodCall<EncodableValue>& call,
                                         std::unique_ptr<MethodResult> result) {
  const std::string& method = call.method_name();
  const bool isPrograms = method == "pickPrograms";
  const bool isReadProgram = method == "readProgram";
  const bool isSave = method == "saveReferralPoster";
  if (!isPrograms && !isReadProgram && !isSave && method != "pickImages") {
    result->NotImplemented();
    return;
  }
  if (pending_) {
    result->Error("picker_busy", "An image picker is already open");
    return;
  }
  try {
    state_ = std::make_shared<PickerState>();
    state_->isPrograms = isPrograms;
    state_->isReadProgram = isReadProgram;
    state_->isSave = isSave;
    if (!TakeArguments(call, *result)) {
      state_.reset();
      return;
    }
  } catch (const std::bad_alloc&) {
    state_.reset();
    result->Error("picker_start_failed", "Could not start image picker");
    return;
  }
  state_->owner = OwnerWindow();
  Start(std::move(result));
}

bool TicketImagePicker::TakeArguments(const flutter::MethodCall<EncodableValue>& call, MethodResult& result) {
  if (state_->isReadProgram) {
    std::optional<std::wstring> path = ReadTextArgument(call.arguments(), "path", true);
    if (!path) {
      result.Error("invalid_file", "Missing or invalid program path");
      return false;
    }
    state_->path = std::move(*path);
  } else if (state_->isSave) {
    std::optional<std::wstring> name = ReadTextArgument(call.arguments(), "suggestedName", false);
    if (!name) {
      result.Error("invalid_file_name", "Missing or invalid suggested file name");
      return false;
    }
    state_->suggestedName = std::move(*name);
  }
  return true;
}

void TicketImagePicker::Start(std::unique_ptr<MethodResult> result) {
  pending_ = std::move(result);
  if (StartDialogThread(state_)) return;
  std::unique_ptr<MethodResult> failed = std::move(pending_);
  state_.reset();
  failed->Error("picker_start_failed", "Could not start image picker");
}

std::optional<LRESULT> TicketImagePicker::HandleWindowMessage(UINT message, WPARAM wparam) {
  if (message != PickerCompletedMessage() || !state_ || wparam != reinterpret_cast<WPARAM>(state_.get())) {
    return std::nullopt;
  }
  Complete();
  return 0;
}

void TicketImagePicker::Complete() {
  const std::shared_ptr<PickerState> state = std::move(state_);
  const std::unique_ptr<MethodResult> result = std::move(pending_);
  if (!result) return;
  std::lock_guard<std::mutex> lock(state->mutex);
  try {
    AnswerPickerCall(*state, *result);
  } catch (const std::bad_alloc&) {
    // Nothing else can be built now; the call still gets its answer.
    result->Error("picker_failed", "Could not select images", EncodableValue(static_cast<int32_t>(E_OUTOFMEMORY)));
  }
}

HWND TicketImagePicker::OwnerWindow() {
  flutter::FlutterView* view = registrar_->GetView();
  if (view == nullptr) return nullptr;
  return ::GetAncestor(view->GetNativeWindow(), GA_ROOT);
}

void RegisterTicketImagePicker(flutter::PluginRegistry* registry) {
  FlutterDesktopPluginRegistrarRef registrar = registry->GetRegistrarForPlugin(kRegistrarName);
  if (registrar == nullptr) return;
  TicketImagePicker::RegisterWithRegistrar(
      flutter::PluginRegistrarManager::GetInstance()->GetRegistrar<flutter::PluginRegistrarWindows>(registrar));
}

}  // namespace orv
