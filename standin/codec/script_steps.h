#pragma once
// One line of an interface script: {"op":"call"|"ffi"|"wait"|"secondary"|"quit",...}.
// Portable.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "flutter/encodable_value.h"
#include "standin/codec/json_value.h"

namespace standin {

// How long a call waits for its answer before the script goes on without it.
constexpr uint32_t kDefaultCallTimeoutMs = 30000;

struct ScriptStep {
  enum class Op { kNone, kCall, kFfi, kWait, kSecondary, kQuit };

  Op op = Op::kNone;  // kNone: a blank line, nothing to do
  std::string channel;
  std::string method;
  flutter::EncodableValue arguments;
  uint32_t timeoutMs = kDefaultCallTimeoutMs;
  std::string name;              // ffi: the export
  std::vector<JsonValue> inputs;  // ffi: the input arguments, in order
  uint32_t ms = 0;               // wait
};

// False with an English reason when the line is not a valid step.
bool ParseScriptLine(std::string_view line, ScriptStep& step, std::string& error);

}  // namespace standin
