#pragma once
// Pointing the user at this program's loopback proxy, switching to a direct
// connection, and putting the user's own settings back. Callers hold the proxy
// mutex and the journal lock, and pass the journal as loaded for this call.

#include <windows.h>

#include <cstdint>

#include "native/proxy/proxy_journal.h"
#include "native/proxy/proxy_store.h"

namespace orv::proxy {

// `port` is already known to be 1-65535. `me` is the process calling.
DWORD SetUserProxy(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me, std::uint32_t port);
DWORD ClearUserProxy(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me);
DWORD RestoreUserProxy(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me, int* outRestored);

}  // namespace orv::proxy
