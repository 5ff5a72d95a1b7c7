#pragma once
// Pointing the user at this program's loopback proxy, switching to a direct
// connection, and putting the user's own settings back. Callers hold the proxy
// mutex and the journal lock, and pass the journal as loaded for this call.

#include <windows.h>

#include <cstdint>

#include "native/proxy/proxy_journal.h"
#include "native/proxy/proxy_store.h"

namespace orv::proxy {

// `port` is already known to be 1-65535. `me` is the process calling. The
// set's own entry is its journal record; a restore and a clear journal what
// they are about to do before their first write and drop it after their last.
[[nodiscard]] DWORD SetUserProxy(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me, std::uint32_t port);
// Switches to a direct connection even where the journal cannot be written,
// and then answers the journal's error.
[[nodiscard]] DWORD ClearUserProxy(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me);
[[nodiscard]] DWORD RestoreUserProxy(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me, int* outRestored);

// Finishes a restore or a clear that a kill or a failed write cut short,
// where the settings are still as it found them or part-way to its aim;
// settings changed since are left alone. False when it must be tried again
// (the settings or the journal could not be written); the change then stays
// in the journal.
bool RecoverChange(const ProxyStore& store, ProxyJournal& journal, const JournaledChange& change);

}  // namespace orv::proxy
