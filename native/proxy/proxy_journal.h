#pragma once
// The journal of the user's own proxy settings, kept while any loopback proxy
// of this program is applied: the settings to give back, and every applied
// server with the process that applied it. It outlives a crashed process and
// is shared by every kilna.exe of the user. Portable: no Windows header.

#include <cstdint>
#include <vector>

#include "native/proxy/proxy_values.h"

namespace orv::proxy {

// A process, told apart from a later one that reuses its id.
struct JournalOwner {
  std::uint32_t processId = 0;
  std::uint64_t createdAt = 0;  // the process's creation time

  bool operator==(const JournalOwner&) const = default;
};

struct JournalEntry {
  ProxyText server;
  JournalOwner owner;

  bool operator==(const JournalEntry&) const = default;
};

// Where an open cleanup of the user's proxy stands. Written before each of
// its steps touches the settings, so the next process can finish or undo a
// step a kill cut short.
enum class CleanupStage : std::uint8_t {
  kCleaning = 1,   // turning the user's proxy off; `cleaned.options` is the aim
  kOpen = 2,       // done: the settings are `cleaned`, the ticket is open
  kRestoring = 3,  // putting `prior` back
};

// The cleanup's copy of the user's settings, kept outside the process that
// took it: a kill while the cleanup is open loses nothing.
struct JournaledCleanup {
  JournalOwner owner;
  CleanupStage stage = CleanupStage::kCleaning;
  ProxySnapshot prior;    // the user's settings before the cleanup
  ProxySnapshot cleaned;  // what the cleanup left (or aims for)

  bool operator==(const JournaledCleanup&) const = default;
};

// A restore or a clear under way, journaled before its first write to the
// user's settings and dropped after its last: a call cut short is finished by
// the next one that reads the journal, so the settings end as before the call
// or as after it, never half-written.
enum class ChangeKind : std::uint8_t {
  kRestore = 1,  // putting `to` back over our loopback `from`
  kClear = 2,    // switching `from` to a direct connection, `to.options`
};

struct JournaledChange {
  JournalOwner owner;
  ChangeKind kind = ChangeKind::kRestore;
  ProxySnapshot from;  // the settings the call found
  ProxySnapshot to;    // what it writes (for a clear, the options alone)

  bool operator==(const JournaledChange&) const = default;
};

struct ProxyJournal {
  ProxySnapshot prior;  // the user's settings, never ones that route through us
  std::vector<JournalEntry> entries;
  std::vector<JournaledCleanup> cleanups;  // at most one per process
  std::vector<JournaledChange> changes;    // at most one per process

  bool empty() const { return entries.empty() && cleanups.empty() && changes.empty(); }
  bool operator==(const ProxyJournal&) const = default;
};

// Whether `options` send traffic through a loopback server of this program
// that is not yet given back: the proxy is on, its server is journaled, and
// neither a setup script nor automatic detection is turned on (with either,
// the settings are the user's).
// The one test of "the user's, or ours?".
bool RoutesThroughProgram(const ProxyOptions& options, const ProxyJournal& journal);
bool RoutesThroughServer(const ProxyOptions& options, const ProxyText& server);

bool OwnsEntry(const ProxyJournal& journal, const JournalOwner& owner);
// Removes every entry of `owner`.
void DropEntries(ProxyJournal& journal, const JournalOwner& owner);
// Adds `server` for `owner` unless it is there already.
void AddEntry(ProxyJournal& journal, const ProxyText& server, const JournalOwner& owner);

// The cleanup `owner` has journaled, or null.
JournaledCleanup* FindCleanup(ProxyJournal& journal, const JournalOwner& owner);
// Records `cleanup` in place of any earlier one of its owner.
void PutCleanup(ProxyJournal& journal, const JournaledCleanup& cleanup);
void DropCleanup(ProxyJournal& journal, const JournalOwner& owner);

// The change `owner` has under way, or null.
const JournaledChange* FindChange(const ProxyJournal& journal, const JournalOwner& owner);
// Records `change` in place of any earlier one of its owner.
void PutChange(ProxyJournal& journal, const JournaledChange& change);
void DropChange(ProxyJournal& journal, const JournalOwner& owner);

// Whether the manual proxy of `options` is on and is a loopback of ours: a
// server the journal records, or one this program could have applied (local
// names bypassed) that no journal accounts for any more, left by a process
// whose journal was lost. Neither is the user's choice to keep.
bool ManualProxyIsOurs(const ProxyOptions& options, const ProxyJournal& journal);
// `snapshot` with such a manual proxy, where it carries no traffic of ours
// now (a setup script or automatic detection beside it, or recorded nowhere),
// replaced by the user's own: the
// journaled one while the journal holds the user's settings, or none;
// options and raw values alike. Everything else (a setup script, automatic
// detection, a bypass list of the user's) stays.
ProxySnapshot UsersOwnSettings(const ProxySnapshot& snapshot, const ProxyJournal& journal);

// Bytes as stored: a tag, the fields, and a checksum over them.
std::vector<std::uint8_t> EncodeJournal(const ProxyJournal& journal);
// False for anything that is not a whole, well-formed journal of ours:
// damaged, truncated, foreign, naming a server that is not a loopback one, or
// holding settings the store could not have read (unknown flags, a value
// whose size does not fit its type), whatever its checksum says.
bool DecodeJournal(const std::vector<std::uint8_t>& bytes, ProxyJournal& journal);

}  // namespace orv::proxy
