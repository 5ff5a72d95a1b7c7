#pragma once
// The thread that runs one picker call's blocking work (a file dialog or the
// program metadata reader) and posts the completion to the state's owner.

#include <memory>

#include "runner/ticket_picker/picker_state.h"

namespace orv {

// Starts the detached thread with its own reference to `state`; false when
// the thread could not be started.
[[nodiscard]] bool StartDialogThread(const std::shared_ptr<PickerState>& state) noexcept;

}  // namespace orv
