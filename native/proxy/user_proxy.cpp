#include "native/proxy/user_proxy.h"

#include "native/common/unique_resource.h"
#include "native/proxy/applied_proxy.h"
#include "native/proxy/cleanup_protocol.h"
#include "native/proxy/internet_settings_key.h"
#include "native/proxy/journal_store.h"

namespace orv::proxy {

DWORD SetUserProxy(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me, std::uint32_t port) {
  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  const ProxyOptions applied = AppliedOptions(port);
  ProxyJournal next = journal;
  // Settings that route through one of our servers are not the user's: the
  // journaled ones are. Anything else in place now is the user's (or was
  // changed by someone since) and is what the restore brings back.
  if (next.entries.empty() || !RoutesThroughProgram(current.options, next)) next.prior = current;
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
  ProxyOptions current;
  if (const DWORD error = store.ReadOptions(current); error != ERROR_SUCCESS) return error;
  ProxyOptions direct;
  direct.flags = kProxyTypeDirect;
  // The bypass list around our loopback is not the user's: theirs is journaled.
  direct.proxyBypass =
      RoutesThroughProgram(current, journal) ? journal.prior.options.proxyBypass : current.proxyBypass;
  if (const DWORD error = store.WriteOptions(direct); error != ERROR_SUCCESS) return error;
  if (OwnsEntry(journal, me)) {
    DropEntries(journal, me);
    if (const DWORD error = SaveJournal(store, journal); error != ERROR_SUCCESS) return error;
  }

  const UserScope scope = store.EnterUserScope();
  if (!scope.impersonating()) return ERROR_NO_TOKEN;
  LSTATUS enabled = ERROR_SUCCESS;
  LSTATUS deleted = ERROR_SUCCESS;
  {
    UniqueRegKey key;
    const LSTATUS opened = OpenInternetSettings(KEY_SET_VALUE, key);
    if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
    // Turned off, not deleted: the switch itself is the user's.
    enabled = WriteRawValue(key.get(), RawSlotName(kSlotProxyEnable), DwordValue(0));
    deleted = ::RegDeleteValueW(key.get(), RawSlotName(kSlotAutoConfigUrl));
  }
  if (enabled != ERROR_SUCCESS) return static_cast<DWORD>(enabled);
  if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) return static_cast<DWORD>(deleted);
  return store.Refresh();
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
    if (const DWORD error = ApplySnapshot(store, journal.prior, current); error != ERROR_SUCCESS) return error;
  }
  if (const DWORD error = SaveJournal(store, rest); error != ERROR_SUCCESS) return error;
  journal = std::move(rest);
  if (outRestored != nullptr) *outRestored = 1;
  return ERROR_SUCCESS;
}

}  // namespace orv::proxy
