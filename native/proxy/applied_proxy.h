#pragma once
// The loopback proxy this program points the user at, and how to recognise it
// later. Portable: no Windows header.

#include <cstdint>

#include "native/proxy/proxy_values.h"

namespace orv::proxy {

// "127.0.0.1:" and the port in decimal.
ProxyText AppliedServer(std::uint32_t port);

// Manual proxy on that server, local names bypassed, no auto-config URL.
ProxyOptions AppliedOptions(std::uint32_t port);

// Whether `options` are exactly what this program last applied.
bool IsOwnOptions(const ProxyOptions& options, const ProxyText& appliedServer);

// Whether `options` still send traffic through the server this program last
// applied, whatever else another program changed around it. False when
// nothing is applied.
bool RoutesThroughApplied(const ProxyOptions& options, const ProxyText& appliedServer);

}  // namespace orv::proxy
