#pragma once
// The traced name: the one normal form in which a host name handed to the DNS
// trace is compared with question names on the wire and with the names in DNS
// client events. Portable: no Windows header.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace orv::dns {

inline constexpr std::size_t kTracedNameMaxLength = 253;

// Removes one trailing ".", then requires 1 to 253 units of which A-Z are
// lower-cased and a-z, 0-9, "-" and "." are kept. Any other unit (anything
// above 127 included) refuses the whole name: std::nullopt.
std::optional<std::string> TracedName(std::u16string_view name);

// The same rule over wchar_t units (UTF-16 on Windows).
std::optional<std::string> TracedName(std::wstring_view name);

}  // namespace orv::dns
