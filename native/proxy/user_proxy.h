#pragma once
// Pointing the user at this program's loopback proxy, switching to a direct
// connection, and putting the user's own options back. Callers hold the proxy
// mutex.

#include <windows.h>

#include <cstdint>

#include "native/proxy/proxy_state.h"
#include "native/proxy/proxy_store.h"

namespace orv::proxy {

// `port` is already known to be 1-65535.
DWORD SetUserProxy(const ProxyStore& store, SavedProxyState& state, std::uint32_t port);
DWORD ClearUserProxy(const ProxyStore& store, SavedProxyState& state);
DWORD RestoreUserProxy(const ProxyStore& store, SavedProxyState& state, int* outRestored);

}  // namespace orv::proxy
