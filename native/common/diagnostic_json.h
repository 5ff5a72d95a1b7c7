#pragma once
// JSON text of the DNS diagnostic documents (trace result, capture, drop
// events, filter descriptions, preflight): compact UTF-8 built from members
// that each begin with a comma. Unlike the user-context quoter, control bytes
// become "?" and nothing is ever written as \u. Portable: no Windows header.

#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

// Backslash and quote get a backslash; bytes below 0x20 become '?'; every
// other byte is copied.
void AppendDiagnosticEscaped(std::string& out, std::string_view bytes);

// ,"key":"value"   (an empty value still writes the member)
void AppendStringMember(std::string& out, std::string_view key, std::string_view value);

// ,"key":123
void AppendUnsignedMember(std::string& out, std::string_view key, std::uint64_t value);

// ,"key":true / false
void AppendBoolMember(std::string& out, std::string_view key, bool value);

}  // namespace orv
