#include "runner/ticket_picker/cancel_window.h"

#include "runner/ticket_picker/picker_state.h"

namespace orv {
namespace {

constexpr wchar_t kCancelClass[] = L"ORV.TicketImagePicker.Cancel";

LRESULT CALLBACK CancelWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_CLOSE: {
      // The window stays: the dialog thread destroys it once Show returns.
      auto* dialog = reinterpret_cast<IFileDialog*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
      if (dialog != nullptr) dialog->Close(kPickerCancelled);
      return 0;
    }
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

// Dialog threads of several engines may get here at once. A failed
// registration is not retried: the window creation then reports it.
void RegisterCancelClassOnce() noexcept {
  static const ATOM atom = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &CancelWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kCancelClass;
    return ::RegisterClassW(&windowClass);
  }();
  (void)atom;
}

}  // namespace

UINT PickerCompletedMessage() noexcept {
  static const UINT message = ::RegisterWindowMessageW(L"ORV.TicketImagePicker.Completed");
  return message;
}

UniqueWindow CreateCancelWindow(IFileDialog* dialog) noexcept {
  RegisterCancelClassOnce();
  return UniqueWindow(::CreateWindowExW(0, kCancelClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        ::GetModuleHandleW(nullptr), dialog));
}

}  // namespace orv
