#include "native/proxy/cleanup_protocol.h"

#include "native/proxy/cleanup_rules.h"

namespace orv::proxy {
namespace {

constexpr std::uint32_t kProxyOrPac = kProxyTypeProxy | kProxyTypeAutoProxyUrl;

// The options a cleanup of `prior` aims for; the bypass list is the user's and stays.
ProxyOptions CleanTarget(const ProxySnapshot& prior) {
  ProxyOptions target = prior.options;
  if ((prior.options.flags & kProxyOrPac) != 0) {
    target.flags = (prior.options.flags & ~kProxyOrPac) | kProxyTypeDirect;
    target.proxyServer.clear();
    target.autoConfigUrl.clear();
  } else if (RawValueIsNonBlank(prior.raw[kSlotAutoConfigUrl])) {
    target.autoConfigUrl.clear();
  }
  return target;
}

// The cleaning itself; `changed` records whether anything was written.
DWORD Clean(const ProxyStore& store, const ProxySnapshot& prior, bool& changed, ProxySnapshot& cleaned) {
  const ProxyOptions target = CleanTarget(prior);
  changed = (prior.options.flags & kProxyOrPac) != 0;
  if (changed) {
    if (const DWORD error = store.WriteOptions(target); error != ERROR_SUCCESS) return error;
  }

  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  if (!IsCompatible(current, prior, target)) return ERROR_RETRY;
  RawSlots raw = current.raw;
  if (RawValueIsOn(raw[kSlotProxyEnable])) raw[kSlotProxyEnable] = DwordValue(0);
  if (RawValueIsNonBlank(raw[kSlotAutoConfigUrl])) raw[kSlotAutoConfigUrl] = RawValue{};
  if (const DWORD error = store.CompareAndSetRaw(current.raw, raw, &changed); error != ERROR_SUCCESS) return error;

  if (const DWORD error = store.ReadSnapshot(cleaned); error != ERROR_SUCCESS) return error;
  if (!IsClean(cleaned) || !IsCompatible(cleaned, prior, target)) return ERROR_INVALID_DATA;
  return ERROR_SUCCESS;
}

// Puts the user's settings back after a cleanup that failed half-way.
DWORD RollBack(const ProxyStore& store, const ProxySnapshot& prior) {
  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  if (!IsCompatible(current, prior, CleanTarget(prior))) return ERROR_RETRY;
  return ApplySnapshot(store, prior, current);
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

DWORD ReadProxyConflict(const ProxyStore& store, int& conflict) {
  ProxyOptions options;
  if (const DWORD error = store.ReadOptions(options); error != ERROR_SUCCESS) return error;
  conflict = static_cast<int>((options.flags >> 1) & 3);
  return ERROR_SUCCESS;
}

DWORD BeginCleanup(const ProxyStore& store, CleanupState& state, int& outTicket, int& outRestoreResult) {
  if (state.openTicket != 0) return ERROR_BUSY;
  ProxySnapshot prior;
  if (const DWORD error = store.ReadSnapshot(prior); error != ERROR_SUCCESS) return error;
  if (IsClean(prior)) return ERROR_SUCCESS;

  bool changed = false;
  ProxySnapshot cleaned;
  const DWORD error = Clean(store, prior, changed, cleaned);
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
  if (changed) outRestoreResult = static_cast<int>(RollBack(store, prior));
  return error;
}

DWORD VerifyCleanup(const ProxyStore& store, const CleanupState& state, std::uint32_t ticket, int& outClean) {
  if (ticket != 0 && ticket != state.openTicket) return ERROR_INVALID_PARAMETER;
  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  outClean = IsClean(current) ? 1 : 0;
  return ERROR_SUCCESS;
}

DWORD FinishCleanup(const ProxyStore& store, CleanupState& state, std::uint32_t ticket, bool restore) {
  if (ticket == 0 || ticket != state.openTicket) return ERROR_INVALID_PARAMETER;
  const ProxySnapshot prior = std::move(state.priorSnapshot);
  const ProxySnapshot cleaned = std::move(state.cleanedSnapshot);
  state.openTicket = 0;
  state.priorSnapshot = ProxySnapshot{};
  state.cleanedSnapshot = ProxySnapshot{};
  if (!restore) return ERROR_SUCCESS;
  ProxySnapshot current;
  if (const DWORD error = store.ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  // Anything that differs from what the cleanup left is someone else's change.
  if (!(current == cleaned)) return ERROR_SUCCESS;
  return ApplySnapshot(store, prior, current);
}

}  // namespace orv::proxy
