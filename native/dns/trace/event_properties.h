#pragma once
// Reading one named property of a DNS client event, as a number or as text.
// A property that cannot be read is absent (number) or empty (text), never an
// error: an event carries what its version of the provider wrote.

#include <cstdint>
#include <optional>
#include <string>

#include "native/dns/trace/tdh_api.h"

namespace orv::dns {

// Present only when the property is exactly 4 bytes and both reads succeed.
std::optional<std::uint32_t> ReadNumberProperty(const TdhApi& tdh, const EVENT_RECORD& record, const wchar_t* name);

// Up to 512 bytes of UTF-16, cut at the first NUL; empty when the size is 0,
// odd, above 512, or a read fails.
std::wstring ReadTextProperty(const TdhApi& tdh, const EVENT_RECORD& record, const wchar_t* name);

}  // namespace orv::dns
