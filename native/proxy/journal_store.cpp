#include "native/proxy/journal_store.h"

#include <algorithm>
#include <vector>

#include "native/proxy/cleanup_protocol.h"
#include "native/proxy/registry_key.h"
#include "native/proxy/user_proxy.h"

namespace orv::proxy {
namespace {

constexpr wchar_t kJournalKey[] = L"Software\\Kilna\\Proxy";
constexpr wchar_t kJournalValue[] = L"Journal";
constexpr DWORD kMaxJournalBytes = 0x100000;

DWORD ReadJournalValue(ProxyJournal& journal) {
  journal = ProxyJournal{};
  RegistryKey key;
  const LSTATUS opened = RegistryKey::Open(kJournalKey, KEY_QUERY_VALUE, key);
  if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
  RawValue value;
  const DWORD read = key.Read(kJournalValue, kMaxJournalBytes, value);
  if (read == ERROR_INVALID_DATA) return ERROR_SUCCESS;  // too large to be ours: ignored
  if (read != ERROR_SUCCESS) return read;
  // A damaged journal is never trusted: it reads as none, and the next set
  // replaces it.
  if (!value.present || value.type != REG_BINARY || value.data.empty() || !DecodeJournal(value.data, journal)) {
    journal = ProxyJournal{};
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD LoadJournal(const ProxyStore& store, const ProxyPlatform& platform, ProxyJournal& journal) {
  {
    const UserScope scope = store.EnterUserScope();
    if (!scope.impersonating()) return ERROR_NO_TOKEN;
    if (const DWORD error = ReadJournalValue(journal); error != ERROR_SUCCESS) return error;
  }
  const JournalOwner me = platform.thisProcess();
  const auto exited = [&](const JournalOwner& owner) { return !(owner == me) && !platform.ownerRunning(owner); };
  // A restore or a clear cut short, by a kill or by a write that failed, is
  // finished first: the entries below then see the settings it aimed for.
  // One of another running process is its own to finish.
  const std::vector<JournaledChange> changes = journal.changes;
  for (const JournaledChange& change : changes) {
    if (change.owner == me || exited(change.owner)) RecoverChange(store, journal, change);
  }
  if (std::any_of(journal.entries.begin(), journal.entries.end(),
                  [&](const JournalEntry& entry) { return exited(entry.owner); })) {
    // A process that exited without giving its proxy back: while the options
    // still route through its server, the user's settings are ours to bring
    // back; otherwise someone has changed them since, and they stay.
    ProxyOptions current;
    if (const DWORD error = store.ReadOptions(current); error != ERROR_SUCCESS) return error;
    ProxyJournal recovered = journal;
    recovered.entries.clear();
    for (const JournalEntry& entry : journal.entries) {
      if (!exited(entry.owner)) {
        AddEntry(recovered, entry.server, entry.owner);
      } else if (RoutesThroughServer(current, entry.server)) {
        AddEntry(recovered, entry.server, me);
      }
    }
    // A journal the user may not write still reads as taken over for this
    // call, and the next call tries the write again: it blocks no export.
    (void)SaveJournal(store, recovered);
    journal = std::move(recovered);
  }
  // Cleanups of exited processes come after their entries: one with a set
  // made over it hands its copy to the journal the taken-over entries restore.
  // One that cannot be finished now stays for the next call.
  const std::vector<JournaledCleanup> cleanups = journal.cleanups;
  for (const JournaledCleanup& cleanup : cleanups) {
    if (exited(cleanup.owner)) RecoverCleanup(store, journal, cleanup);
  }
  return ERROR_SUCCESS;
}

DWORD SaveJournal(const ProxyStore& store, const ProxyJournal& journal) {
  const UserScope scope = store.EnterUserScope();
  if (!scope.impersonating()) return ERROR_NO_TOKEN;
  if (journal.empty()) {
    store.BeforeWrite();
    RegistryKey key;
    LSTATUS status = RegistryKey::Open(kJournalKey, KEY_SET_VALUE, key);
    if (status == ERROR_SUCCESS) status = key.Write(kJournalValue, RawValue{});
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(status);
  }
  const RawValue bytes{true, REG_BINARY, EncodeJournal(journal)};
  store.BeforeWrite();
  RegistryKey key;
  if (const LSTATUS created = RegistryKey::Create(kJournalKey, KEY_SET_VALUE, key); created != ERROR_SUCCESS) {
    return static_cast<DWORD>(created);
  }
  return static_cast<DWORD>(key.Write(kJournalValue, bytes));
}

}  // namespace orv::proxy
