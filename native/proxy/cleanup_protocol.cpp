#include "native/proxy/cleanup_protocol.h"

#include "native/proxy/cleanup_rules.h"
#include "native/proxy/journal_store.h"

namespace orv::proxy {
namespace {

// The options a cleanup of `prior` aims for; the bypass list is the user's and stays.
ProxyOptions CleanTarget(const ProxySnapshot& prior, std::uint32_t conflictFlags) {
  ProxyOptions target = prior.options;
  if ((prior.options.flags & conflictFlags) != 0) {
    target.flags = (prior.options.flags & ~conflictFlags) | kProxyTypeDirect;
    if ((conflictFlags & kProxyTypeProxy) != 0) target.proxyServer.clear();
    target.autoConfigUrl.clear();
  } else if (RawValueIsNonBlank(prior.raw[kSlotAutoConfigUrl])) {
    target.autoConfigUrl.clear();
  }
  return target;
}

// The cleaning itself; `changed` records whether anything was written.
DWORD Clean(const ProxyStore& store, const ProxySnapshot& prior, std::uint32_t conflictFlags, bool& changed,
            ProxySnapshot& cleaned) {
  const ProxyOptions target = CleanTarget(prior, conflictFlags);
  changed = (prior.options.flags & conflictFlags) != 0;
  if (changed) {
    if (const DWORD error = store.WriteOptions(target); error != ERROR_SUCCESS) return error;
  }

  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  if (!IsCompatible(current, prior, target)) return ERROR_RETRY;
  RawSlots raw = current.raw;
  if ((conflictFlags & kProxyTypeProxy) != 0 && RawValueIsOn(raw[kSlotProxyEnable])) {
    raw[kSlotProxyEnable] = DwordValue(0);
  }
  if (RawValueIsNonBlank(raw[kSlotAutoConfigUrl])) raw[kSlotAutoConfigUrl] = RawValue{};
  if (const DWORD error = store.CompareAndSetRaw(current.raw, raw, &changed); error != ERROR_SUCCESS) return error;

  if (const DWORD error = store.ReadSnapshot(cleaned); error != ERROR_SUCCESS) return error;
  if (!IsClean(cleaned, conflictFlags) || !IsCompatible(cleaned, prior, target)) return ERROR_INVALID_DATA;
  return ERROR_SUCCESS;
}

// Puts the user's settings back after a cleanup that failed half-way.
DWORD RollBack(const ProxyStore& store, const ProxySnapshot& prior, std::uint32_t conflictFlags) {
  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  if (!IsCompatible(current, prior, CleanTarget(prior, conflictFlags))) return ERROR_RETRY;
  return ApplySnapshot(store, prior, current);
}

// While one of our loopback proxies is in place, the manual proxy is ours, not
// a conflict: the user's own settings are the journaled ones, and the restore
// puts them back.
std::uint32_t UserConflictFlags(const ProxyOptions& current, const ProxyJournal& journal) {
  return RoutesThroughProgram(current, journal) ? kProxyTypeAutoProxyUrl : kUserConflictFlags;
}

// Results of a restore that are final: done, or settings someone else changed
// under it. Any other failure keeps the copy for another try.
bool RestoreSettled(DWORD result) {
  return result == ERROR_SUCCESS || result == ERROR_RETRY || result == ERROR_INVALID_DATA;
}

void CloseCleanup(CleanupState& state) {
  state.openTicket = 0;
  state.priorSnapshot = ProxySnapshot{};
  state.cleanedSnapshot = ProxySnapshot{};
  state.restoreStarted = false;
}

}  // namespace

DWORD ApplySnapshot(const ProxyStore& store, const ProxySnapshot& target, const ProxySnapshot& expected) {
  if (target == expected) return ERROR_SUCCESS;
  DWORD written = ERROR_SUCCESS;
  if (!(target.options == expected.options)) written = store.WriteOptions(target.options);
  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  if (!(current.options == target.options)) return written != ERROR_SUCCESS ? written : ERROR_RETRY;
  for (std::size_t slot = 0; slot < kRawSlotCount; ++slot) {
    const RawValue& value = current.raw[slot];
    if (!(value == expected.raw[slot]) && !(value == target.raw[slot]) &&
        !RawConsistentWithOptions(slot, value, target.options)) {
      return ERROR_RETRY;
    }
  }
  if (const DWORD error = store.CompareAndSetRaw(current.raw, target.raw, nullptr); error != ERROR_SUCCESS) {
    return error;
  }
  if (written != ERROR_SUCCESS) {
    if (const DWORD error = store.Refresh(); error != ERROR_SUCCESS) return error;
  }
  ProxySnapshot after;
  if (const DWORD error = store.ReadSnapshot(after); error != ERROR_SUCCESS) return error;
  return after == target ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

DWORD ReadProxyConflict(const ProxyStore& store, const ProxyJournal& journal, int& conflict) {
  ProxyOptions options;
  if (const DWORD error = store.ReadOptions(options); error != ERROR_SUCCESS) return error;
  conflict = static_cast<int>(((options.flags & UserConflictFlags(options, journal)) >> 1) & 3);
  return ERROR_SUCCESS;
}

DWORD BeginCleanup(const ProxyStore& store, const ProxyJournal& journal, CleanupState& state, int& outTicket,
                   int& outRestoreResult) {
  if (state.openTicket != 0) return ERROR_BUSY;
  ProxySnapshot prior;
  if (const DWORD error = store.ReadSnapshot(prior); error != ERROR_SUCCESS) return error;
  const std::uint32_t conflictFlags = UserConflictFlags(prior.options, journal);
  if (IsClean(prior, conflictFlags)) return ERROR_SUCCESS;

  bool changed = false;
  ProxySnapshot cleaned;
  const DWORD error = Clean(store, prior, conflictFlags, changed, cleaned);
  if (error == ERROR_SUCCESS) {
    if (!changed) return ERROR_SUCCESS;  // nothing written, nothing to restore later
    const std::uint32_t ticket = NextTicket(state.ticketCounter);
    state.ticketCounter = ticket;
    state.openTicket = ticket;
    state.priorSnapshot = std::move(prior);
    state.cleanedSnapshot = std::move(cleaned);
    outTicket = static_cast<int>(ticket);
    return ERROR_SUCCESS;
  }
  if (changed) outRestoreResult = static_cast<int>(RollBack(store, prior, conflictFlags));
  return error;
}

DWORD VerifyCleanup(const ProxyStore& store, const ProxyJournal& journal, const CleanupState& state,
                    std::uint32_t ticket, int& outClean) {
  if (ticket != 0 && ticket != state.openTicket) return ERROR_INVALID_PARAMETER;
  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  outClean = IsClean(current, UserConflictFlags(current.options, journal)) ? 1 : 0;
  return ERROR_SUCCESS;
}

DWORD FinishCleanup(const ProxyStore& store, ProxyJournal& journal, CleanupState& state, std::uint32_t ticket,
                    bool restore) {
  if (ticket == 0 || ticket != state.openTicket) return ERROR_INVALID_PARAMETER;
  if (!restore) {
    CloseCleanup(state);
    return ERROR_SUCCESS;
  }
  // The ticket stays open with its copy until the copy has been put back, or
  // it is clear that it must not be.
  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  // A set since the cleanup journaled the cleaned settings as the user's; the
  // user's real ones are this copy, and the restore of the set brings them back.
  if (RoutesThroughProgram(current.options, journal) && journal.prior == state.cleanedSnapshot) {
    ProxyJournal handed = journal;
    handed.prior = state.priorSnapshot;
    if (const DWORD error = SaveJournal(store, handed); error != ERROR_SUCCESS) return error;
    journal = std::move(handed);
    CloseCleanup(state);
    return ERROR_SUCCESS;
  }
  // Anything but what the cleanup left, or a restore of it stopped half-way,
  // is someone else's change.
  if (!RestoreMayResume(current, state.priorSnapshot, state.cleanedSnapshot, state.restoreStarted)) {
    CloseCleanup(state);
    return ERROR_SUCCESS;
  }
  const DWORD result = ApplySnapshot(store, state.priorSnapshot, current);
  if (RestoreSettled(result)) {
    CloseCleanup(state);
  } else {
    state.restoreStarted = true;
  }
  return result;
}

}  // namespace orv::proxy
