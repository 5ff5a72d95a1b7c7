#pragma once
// What the picker's calls take from the interface and what they answer.

#include <flutter/encodable_value.h>
#include <flutter/method_result.h>

#include <optional>
#include <string>

#include "runner/ticket_picker/picker_state.h"

namespace orv {

// The text under `key` in a call's argument map, as UTF-16; nullopt when the
// arguments are not a map, the key is missing or not a string, the text is
// empty or not valid UTF-8, or (unless allowed) it holds a NUL.
std::optional<std::wstring> ReadTextArgument(const flutter::EncodableValue* arguments, const char* key,
                                             bool allowNul);

// Answers a finished call from its state; the caller holds the state's mutex.
// A program's running executables are looked up here, on the platform thread.
void AnswerPickerCall(const PickerState& state, flutter::MethodResult<flutter::EncodableValue>& result);

}  // namespace orv
