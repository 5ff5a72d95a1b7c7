#pragma once
// The picker's native file dialogs, run modally on the dialog thread (COM
// initialised there as a single-threaded apartment). Both end with
// kPickerCancelled when the user cancels or the picker closes them.

#include <windows.h>

#include <string>
#include <vector>

#include "runner/ticket_picker/picker_state.h"

namespace orv {

// Images, or programs when state.isPrograms; the chosen paths in the dialog's
// order. On a failure the paths gathered so far stay in `paths`.
[[nodiscard]] HRESULT RunOpenDialog(PickerState& state, std::vector<std::wstring>& paths);

// Where to save a PNG, starting from state.suggestedName: one path.
[[nodiscard]] HRESULT RunSaveDialog(PickerState& state, std::vector<std::wstring>& paths);

}  // namespace orv
