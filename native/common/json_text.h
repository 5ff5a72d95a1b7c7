#pragma once
// JSON text of the user-context and proxy documents: compact UTF-8, keys in a
// fixed order, built by appending fragments that each begin with the comma (or
// brace) and the quoted key.

#include <string>
#include <string_view>

namespace orv {

// Appends a UTF-16 value as a quoted JSON string (raw UTF-8, see json_escape.h).
// A value the platform cannot convert is written as "".
void AppendJsonString(std::string& json, std::wstring_view value);

inline void AppendJsonBool(std::string& json, bool value) { json.append(value ? "true" : "false"); }

}  // namespace orv
