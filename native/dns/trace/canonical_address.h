#pragma once
// The one text form of a server or local address in DNS client events, so
// that the same address always reads the same whatever the provider wrote.

#include <string>
#include <string_view>

namespace orv::dns {

inline constexpr std::size_t kMaxZoneDigits = 10;

// The platform's canonical IPv4 or IPv6 text (an IPv6 zone of 1 to 10 digits
// is kept after "%"); empty for anything that is not exactly one address.
std::wstring CanonicalAddress(std::wstring_view text);

}  // namespace orv::dns
