#include "native/proxy/user_proxy.h"

#include "native/proxy/applied_proxy.h"
#include "native/proxy/cleanup_protocol.h"
#include "native/proxy/cleanup_rules.h"
#include "native/proxy/journal_store.h"

namespace orv::proxy {
namespace {

// Saves `next` and takes it as the journal.
DWORD Commit(const ProxyStore& store, ProxyJournal& journal, ProxyJournal next) {
  if (const DWORD error = SaveJournal(store, next); error != ERROR_SUCCESS) return error;
  journal = std::move(next);
  return ERROR_SUCCESS;
}

// The writes of a clear: the options, then the raw switch and script.
DWORD SwitchToDirect(const ProxyStore& store, const ProxyOptions& direct) {
  if (const DWORD error = store.WriteOptions(direct); error != ERROR_SUCCESS) return error;
  return store.TurnRawProxyOff();
}

// After a failed write: a call that changed nothing is as if never made, and
// its journal goes back to `before`; one that changed something stays
// journaled, and the next call finishes it.
void Abandon(const ProxyStore& store, ProxyJournal& journal, const ProxyJournal& before, const ProxySnapshot& from) {
  ProxySnapshot now;
  if (store.ReadSnapshot(now) == ERROR_SUCCESS && now == from) (void)Commit(store, journal, before);
}

}  // namespace

DWORD SetUserProxy(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me, std::uint32_t port) {
  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  const ProxyOptions applied = AppliedOptions(port);
  ProxyJournal next = journal;
  // Settings that route through one of our servers are not the user's: the
  // journaled ones are. Anything else in place now is the user's (or was
  // changed by someone since) and is what the restore brings back, less a
  // loopback of ours left in the manual fields.
  if (next.entries.empty() || !RoutesThroughProgram(current.options, next)) {
    next.prior = UsersOwnSettings(current, next);
  }
  AddEntry(next, applied.proxyServer, me);
  // Journaled before the switch: a crash in between still leaves a way back.
  if (const DWORD error = SaveJournal(store, next); error != ERROR_SUCCESS) return error;

  const DWORD error = store.WriteOptions(applied);
  if (error == ERROR_SUCCESS) {
    journal = std::move(next);
    return ERROR_SUCCESS;
  }
  // Keep the new entry unless the user's options are really back, so a later
  // restore can still put them back.
  if (store.WriteOptions(current.options) == ERROR_SUCCESS && SaveJournal(store, journal) == ERROR_SUCCESS) {
    return error;
  }
  journal = std::move(next);
  return error;
}

DWORD ClearUserProxy(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me) {
  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  JournaledChange change{me, ChangeKind::kClear, current, {}};
  change.to.options.flags = kProxyTypeDirect;
  // The bypass list around our loopback is not the user's: theirs is journaled.
  change.to.options.proxyBypass = RoutesThroughProgram(current.options, journal) ? journal.prior.options.proxyBypass
                                                                                   : current.options.proxyBypass;
  ProxyJournal done = journal;
  DropEntries(done, me);
  ProxyJournal underWay = done;
  PutChange(underWay, change);
  // A journal that cannot be written does not stop the clear: the user gets a
  // direct connection either way, and the answer says the journal stayed.
  const ProxyJournal before = journal;
  (void)Commit(store, journal, underWay);
  if (const DWORD error = SwitchToDirect(store, change.to.options); error != ERROR_SUCCESS) {
    Abandon(store, journal, before, current);
    return error;
  }
  return Commit(store, journal, done);
}

DWORD RestoreUserProxy(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me, int* outRestored) {
  if (outRestored != nullptr) *outRestored = 0;
  if (!OwnsEntry(journal, me)) return ERROR_SUCCESS;
  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  ProxyJournal rest = journal;
  DropEntries(rest, me);
  // While traffic still goes through one of our servers, leaving it would cut
  // the user off once we exit, whatever else was changed around it; unless it
  // is the server of another running kilna.exe, whose restore comes later. A
  // proxy someone else put in place since the set is theirs: leave it.
  if (RoutesThroughProgram(current.options, journal) && !RoutesThroughProgram(current.options, rest)) {
    // Journaled before the first write, the entry kept until the last: a call
    // cut short is finished by the next one.
    const ProxyJournal rollback = journal;
    ProxyJournal underWay = journal;
    PutChange(underWay, JournaledChange{me, ChangeKind::kRestore, current, journal.prior});
    if (const DWORD error = Commit(store, journal, underWay); error != ERROR_SUCCESS) return error;
    if (const DWORD error = store.ApplySnapshot(journal.prior, current); error != ERROR_SUCCESS) {
      Abandon(store, journal, rollback, current);
      return error;
    }
  }
  if (const DWORD error = Commit(store, journal, rest); error != ERROR_SUCCESS) return error;
  if (outRestored != nullptr) *outRestored = 1;
  return ERROR_SUCCESS;
}

bool RecoverChange(const ProxyStore& store, ProxyJournal& journal, const JournaledChange& change) {
  ProxySnapshot current;
  if (store.ReadSnapshot(current) != ERROR_SUCCESS) return false;
  DWORD result = ERROR_SUCCESS;
  if (change.kind == ChangeKind::kRestore) {
    // Finished where the settings are as the restore found them or part-way
    // back; anything else is someone's change since, and stays.
    if (RestoreMayResume(current, change.to, change.from, true)) result = store.ApplySnapshot(change.to, current);
  } else if (current.options == change.from.options || current.options == change.to.options) {
    result = SwitchToDirect(store, change.to.options);
  }
  if (!RestoreSettled(result)) return false;
  ProxyJournal next = journal;
  DropChange(next, change.owner);
  return Commit(store, journal, std::move(next)) == ERROR_SUCCESS;
}

}  // namespace orv::proxy
