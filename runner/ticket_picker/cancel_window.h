#pragma once
// The picker's window messages: the completion posted to the top-level window,
// and the message-only window through which the platform thread closes a
// dialog that runs modally on another thread.

#include <windows.h>

#include <shobjidl.h>

#include "native/common/unique_resource.h"

namespace orv {

// "ORV.TicketImagePicker.Completed", registered once per process.
UINT PickerCompletedMessage() noexcept;

namespace handle_traits {
struct Window {
  using Type = HWND;
  static Type Invalid() noexcept { return nullptr; }
  static bool IsValid(Type h) noexcept { return h != nullptr; }
  static void Close(Type h) noexcept { ::DestroyWindow(h); }
};
}  // namespace handle_traits

// Destroyed on the thread that created it.
using UniqueWindow = UniqueResource<handle_traits::Window>;

// A message-only window of class "ORV.TicketImagePicker.Cancel" whose WM_CLOSE
// closes `dialog` as cancelled. Null on failure, with the thread's last error set.
UniqueWindow CreateCancelWindow(IFileDialog* dialog) noexcept;

}  // namespace orv
