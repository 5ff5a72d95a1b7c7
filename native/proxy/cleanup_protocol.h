#pragma once
// The ticketed cleanup of the user's own proxy: turn a manual proxy and an
// auto-config URL off, keep a copy, check the settings stay clean, and put the
// copy back only where nobody has changed the settings since. Callers hold the
// proxy mutex.

#include <windows.h>

#include "native/proxy/proxy_journal.h"
#include "native/proxy/proxy_state.h"
#include "native/proxy/proxy_store.h"

namespace orv::proxy {

// Bit 0: a manual proxy of the user's is on; bit 1: an auto-config URL is on.
// A loopback proxy of this program (per the journal) is not the user's.
[[nodiscard]] DWORD ReadProxyConflict(const ProxyStore& store, const ProxyJournal& journal, int& conflict);

// The copy of the user's settings is journaled before the first write and
// stays there while the ticket is open.
[[nodiscard]] DWORD BeginCleanup(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me, CleanupState& state,
                   int& outTicket, int& outRestoreResult);
[[nodiscard]] DWORD VerifyCleanup(const ProxyStore& store, const ProxyJournal& journal, const CleanupState& state,
                    std::uint32_t ticket, int& outClean);
// Ticket 0 is handled by the caller before it locks. A restore that fails to
// read or write keeps the ticket open for another try. Over a set made since
// the cleanup, the copy goes to the journal for the set's restore.
[[nodiscard]] DWORD FinishCleanup(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me, CleanupState& state,
                    std::uint32_t ticket, bool restore);

// Finishes or undoes the journaled cleanup of a process that is gone: a step
// cut short is undone (cleaning) or completed (restoring), an open one is
// put back while the settings are as it left them, or handed to the set made
// over it. False when it must be tried again (the settings could not be
// written); the cleanup is then left in the journal.
bool RecoverCleanup(const ProxyStore& store, ProxyJournal& journal, const JournaledCleanup& cleanup);

// Results of putting settings back that are final: done, or settings someone
// else changed under it. Any other failure is worth another try.
bool RestoreSettled(DWORD result);

}  // namespace orv::proxy
