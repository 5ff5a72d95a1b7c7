#pragma once
// Byte escaping of JSON string values for the user-context and proxy texts.
// Portable: no Windows header.

#include <string>
#include <string_view>

namespace orv {

// Appends the UTF-8 bytes as one quoted JSON string: quote and backslash are
// escaped with a backslash, bytes 0x00-0x1F become "\u%04x", every other byte
// (DEL, '/', multi-byte sequences) is copied unchanged.
void AppendJsonQuotedUtf8(std::string& out, std::string_view utf8);

}  // namespace orv
