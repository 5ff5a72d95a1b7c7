#pragma once
// Where the journal of the user's proxy settings is kept: a binary value in
// the user's own hive, "Software\Kilna\Proxy" value "Journal". It belongs to
// the user's settings, follows the user's hive wherever the settings go, and
// is written as the user like the settings themselves. One value write is
// atomic, so the journal is never half-written.

#include <windows.h>

#include "native/proxy/proxy_journal.h"
#include "native/proxy/proxy_store.h"

namespace orv::proxy {

// Reads the journal; a missing, damaged or foreign one reads as empty.
// A restore or a clear cut short (of an exited process, or of this one after
// a failed write) is finished first. Entries of processes that have exited
// are taken over by the calling process while the options still route
// through their server, and dropped otherwise; their cleanups are finished
// or undone; the journal is written back when that changed it. A journal
// that cannot be written back still reads as recovered for this call.
[[nodiscard]] DWORD LoadJournal(const ProxyStore& store, const ProxyPlatform& platform, ProxyJournal& journal);

// Writes the journal whole, or removes it once it has no entries.
[[nodiscard]] DWORD SaveJournal(const ProxyStore& store, const ProxyJournal& journal);

}  // namespace orv::proxy
