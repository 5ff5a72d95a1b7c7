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
  return store.ApplySnapshot(prior, current);
}

// What a cleanup turns off. While one of our loopback proxies is in place,
// the manual proxy is ours, not a conflict: the user's own settings are the
// journaled ones, and the restore puts them back. A loopback of ours that
// carries nothing is turned off with the rest: what comes back is the user's.
std::uint32_t UserConflictFlags(const ProxyOptions& current, const ProxyJournal& journal) {
  return RoutesThroughProgram(current, journal) ? kProxyTypeAutoProxyUrl : kUserConflictFlags;
}

// Saves `journal` without the cleanup of `me`, and takes it as the journal.
DWORD ForgetCleanup(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me) {
  ProxyJournal next = journal;
  DropCleanup(next, me);
  if (next == journal) return ERROR_SUCCESS;
  if (const DWORD error = SaveJournal(store, next); error != ERROR_SUCCESS) return error;
  journal = std::move(next);
  return ERROR_SUCCESS;
}

DWORD RecordCleanup(const ProxyStore& store, ProxyJournal& journal, const JournaledCleanup& cleanup) {
  ProxyJournal next = journal;
  PutCleanup(next, cleanup);
  if (const DWORD error = SaveJournal(store, next); error != ERROR_SUCCESS) return error;
  journal = std::move(next);
  return ERROR_SUCCESS;
}

// A set made since the cleanup journaled the cleaned settings as the user's;
// the user's real ones are the cleanup's copy.
bool SetOverCleanup(const ProxyOptions& current, const ProxyJournal& journal, const ProxySnapshot& cleaned) {
  return RoutesThroughProgram(current, journal) && journal.prior == cleaned;
}

void CloseCleanup(CleanupState& state) {
  state.openTicket = 0;
  state.priorSnapshot = ProxySnapshot{};
  state.cleanedSnapshot = ProxySnapshot{};
  state.restoreStarted = false;
}

}  // namespace

bool RestoreSettled(DWORD result) {
  return result == ERROR_SUCCESS || result == ERROR_RETRY || result == ERROR_INVALID_DATA;
}

DWORD ReadProxyConflict(const ProxyStore& store, const ProxyJournal& journal, int& conflict) {
  ProxyOptions options;
  if (const DWORD error = store.ReadOptions(options); error != ERROR_SUCCESS) return error;
  // A loopback of ours in the manual fields is never the user's proxy.
  const std::uint32_t users = ManualProxyIsOurs(options, journal) ? kProxyTypeAutoProxyUrl : kUserConflictFlags;
  conflict = static_cast<int>(((options.flags & users) >> 1) & 3);
  return ERROR_SUCCESS;
}

DWORD BeginCleanup(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me, CleanupState& state,
                   int& outTicket, int& outRestoreResult) {
  if (state.openTicket != 0) return ERROR_BUSY;
  ProxySnapshot prior;
  if (const DWORD error = store.ReadSnapshot(prior); error != ERROR_SUCCESS) return error;
  const std::uint32_t conflictFlags = UserConflictFlags(prior.options, journal);
  if (IsClean(prior, conflictFlags)) return ERROR_SUCCESS;

  // The copy is journaled before the first write: a kill from here on leaves
  // the next process what it needs to put the user's settings back.
  JournaledCleanup record{me, CleanupStage::kCleaning, prior, prior};
  record.cleaned.options = CleanTarget(prior, conflictFlags);
  if (const DWORD error = RecordCleanup(store, journal, record); error != ERROR_SUCCESS) return error;

  bool changed = false;
  ProxySnapshot cleaned;
  DWORD error = Clean(store, prior, conflictFlags, changed, cleaned);
  if (error == ERROR_SUCCESS && changed) {
    // What Finish puts back: the user's settings, never a loopback of ours.
    record.stage = CleanupStage::kOpen;
    record.prior = UsersOwnSettings(prior, journal);
    record.cleaned = cleaned;
    error = RecordCleanup(store, journal, record);
  }
  if (error == ERROR_SUCCESS) {
    if (!changed) return ForgetCleanup(store, journal, me);  // nothing written, nothing to restore later
    const std::uint32_t ticket = NextTicket(state.ticketCounter);
    state.ticketCounter = ticket;
    state.openTicket = ticket;
    state.priorSnapshot = record.prior;
    state.cleanedSnapshot = std::move(cleaned);
    outTicket = static_cast<int>(ticket);
    return ERROR_SUCCESS;
  }
  if (changed) outRestoreResult = static_cast<int>(RollBack(store, prior, conflictFlags));
  // Kept while the rollback may not have finished: the next process retries it.
  const auto rolledBack = static_cast<DWORD>(outRestoreResult);
  if (!changed || rolledBack == ERROR_SUCCESS || rolledBack == ERROR_RETRY) {
    ForgetCleanup(store, journal, me);
  }
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

DWORD FinishCleanup(const ProxyStore& store, ProxyJournal& journal, const JournalOwner& me, CleanupState& state,
                    std::uint32_t ticket, bool restore) {
  if (ticket == 0 || ticket != state.openTicket) return ERROR_INVALID_PARAMETER;
  if (!restore) {
    if (const DWORD error = ForgetCleanup(store, journal, me); error != ERROR_SUCCESS) return error;
    CloseCleanup(state);
    return ERROR_SUCCESS;
  }
  // The ticket stays open with its copy until the copy has been put back, or
  // it is clear that it must not be.
  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  // A set since the cleanup journaled the cleaned settings as the user's; the
  // user's real ones are this copy, and the restore of the set brings them back.
  if (SetOverCleanup(current.options, journal, state.cleanedSnapshot)) {
    ProxyJournal handed = journal;
    handed.prior = state.priorSnapshot;
    DropCleanup(handed, me);
    if (const DWORD error = SaveJournal(store, handed); error != ERROR_SUCCESS) return error;
    journal = std::move(handed);
    CloseCleanup(state);
    return ERROR_SUCCESS;
  }
  // Anything but what the cleanup left, or a restore of it stopped half-way,
  // is someone else's change.
  if (!RestoreMayResume(current, state.priorSnapshot, state.cleanedSnapshot, state.restoreStarted)) {
    if (const DWORD error = ForgetCleanup(store, journal, me); error != ERROR_SUCCESS) return error;
    CloseCleanup(state);
    return ERROR_SUCCESS;
  }
  // Journaled as under way before the first write: the next process then
  // completes a restore a kill cut short.
  const JournaledCleanup restoring{me, CleanupStage::kRestoring, state.priorSnapshot, state.cleanedSnapshot};
  if (const DWORD error = RecordCleanup(store, journal, restoring); error != ERROR_SUCCESS) return error;
  const DWORD result = store.ApplySnapshot(state.priorSnapshot, current);
  if (RestoreSettled(result)) {
    if (const DWORD error = ForgetCleanup(store, journal, me); error != ERROR_SUCCESS) return error;
    CloseCleanup(state);
  } else {
    state.restoreStarted = true;
  }
  return result;
}

bool RecoverCleanup(const ProxyStore& store, ProxyJournal& journal, const JournaledCleanup& cleanup) {
  ProxySnapshot current;
  if (store.ReadSnapshot(current) != ERROR_SUCCESS) return false;
  ProxyJournal next = journal;
  DropCleanup(next, cleanup.owner);
  DWORD result = ERROR_SUCCESS;
  if (cleanup.stage == CleanupStage::kCleaning) {
    // Cut short while cleaning: undone where the settings are still the
    // user's or on the way to the aim.
    if (IsCompatible(current, cleanup.prior, cleanup.cleaned.options)) {
      result = store.ApplySnapshot(cleanup.prior, current);
    }
  } else if (SetOverCleanup(current.options, journal, cleanup.cleaned)) {
    next.prior = cleanup.prior;  // the set's restore brings the user's settings back
  } else if (RestoreMayResume(current, cleanup.prior, cleanup.cleaned, cleanup.stage == CleanupStage::kRestoring)) {
    result = store.ApplySnapshot(cleanup.prior, current);
  }
  if (!RestoreSettled(result)) return false;
  if (SaveJournal(store, next) != ERROR_SUCCESS) return false;
  journal = std::move(next);
  return true;
}

}  // namespace orv::proxy
