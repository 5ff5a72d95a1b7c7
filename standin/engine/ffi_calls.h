#pragma once
// The `ffi` op: calls one of the executable's exports by name, as the
// interface's foreign-function interface does, with stand-in-supplied out
// parameters, and reports the result and the out values.

#include <string>

#include "standin/codec/script_steps.h"

namespace standin {

// The transcript line of the call: the ffi line, or an error line for an
// unknown or missing export or unusable arguments.
std::string RunFfiStep(const ScriptStep& step, size_t line);

}  // namespace standin
