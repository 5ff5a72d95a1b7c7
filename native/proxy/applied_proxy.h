#pragma once
// The loopback proxy this program points the user at, and how to recognise it
// later. Portable: no Windows header.

#include <cstdint>

#include "native/proxy/proxy_values.h"

namespace orv::proxy {

inline constexpr char16_t kAppliedBypass[] = u"<local>";

// "127.0.0.1:" and the port in decimal.
ProxyText AppliedServer(std::uint32_t port);
// Whether `server` is AppliedServer() of some port of 1-65535, exactly.
bool IsAppliedServer(const ProxyText& server);

// Manual proxy on that server, local names bypassed, no auto-config URL.
ProxyOptions AppliedOptions(std::uint32_t port);

}  // namespace orv::proxy
