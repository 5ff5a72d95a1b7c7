#include "kilna/kilna_exports.h"

#include <cstdint>

#include "native/common/export_barrier.h"
#include "native/common/out_string.h"
#include "native/common/text_conversion.h"
#include "native/proxy/cleanup_protocol.h"
#include "native/proxy/journal_lock.h"
#include "native/proxy/journal_store.h"
#include "native/proxy/proxy_json.h"
#include "native/proxy/proxy_state.h"
#include "native/proxy/user_proxy.h"

namespace {

using orv::proxy::CurrentProxyPlatform;
using orv::proxy::CleanupState;
using orv::proxy::GuardedProxyState;
using orv::proxy::JournalLock;
using orv::proxy::JournalOwner;
using orv::proxy::ProxyJournal;
using orv::proxy::ProxyMutex;
using orv::proxy::ProxyPlatform;
using orv::proxy::ProxyState;
using orv::proxy::ProxyStore;

ProxyStore Store() { return ProxyStore(CurrentProxyPlatform()); }

struct Call {
  const ProxyStore& store;
  ProxyState& state;
  ProxyJournal& journal;
  JournalOwner me;  // the calling process
};

// Runs `body` with the proxy mutex and the journal lock held, the
// process-wide state and the journal (taken over from exited processes where
// due) in hand. `check` answers what the process's own state decides alone
// (a busy cleanup, a ticket not the open one) before the user is needed.
template <typename Check, typename Body>
DWORD Locked(Check&& check, Body&& body) {
  const std::lock_guard<std::mutex> lock(ProxyMutex());
  if (const DWORD refused = check(GuardedProxyState().cleanup); refused != ERROR_SUCCESS) return refused;
  const ProxyPlatform& platform = CurrentProxyPlatform();
  const JournalLock journalLock(platform.userToken(), platform.journalLockWaitMs);
  if (journalLock.error() != ERROR_SUCCESS) return journalLock.error();
  const ProxyStore store(platform);
  ProxyJournal journal;
  if (const DWORD error = LoadJournal(store, platform, journal); error != ERROR_SUCCESS) return error;
  Call call{store, GuardedProxyState(), journal, platform.thisProcess()};
  return body(call);
}

template <typename Body>
DWORD Locked(Body&& body) {
  return Locked([](const CleanupState&) -> DWORD { return ERROR_SUCCESS; }, body);
}

DWORD NotBusy(const CleanupState& cleanup) { return cleanup.openTicket != 0 ? ERROR_BUSY : ERROR_SUCCESS; }

// Ticket 0 stands for "no ticket" where the caller allows it.
auto OpenTicketOrZero(int ticket) {
  return [ticket](const CleanupState& cleanup) -> DWORD {
    const auto t = static_cast<std::uint32_t>(ticket);
    return t != 0 && t != cleanup.openTicket ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  };
}

}  // namespace

extern "C" {

uint32_t WINAPI OrvReadUserProxy(wchar_t** outJson) noexcept {
  return orv::GuardExport([&]() -> DWORD {
    orv::proxy::ProxyOptions options;
    if (const DWORD error = Store().ReadOptions(options); error != ERROR_SUCCESS) return error;
    if (outJson == nullptr) return ERROR_INVALID_PARAMETER;
    *outJson = nullptr;
    std::wstring text;
    if (!orv::Utf8ToUtf16(orv::proxy::ProxyJson(options), text)) return ERROR_NO_UNICODE_TRANSLATION;
    return orv::StoreOutString(text, outJson);
  });
}

uint32_t WINAPI OrvSetUserProxy(unsigned int port) noexcept {
  if (port < 1 || port > 65535) return ERROR_INVALID_PARAMETER;
  return orv::GuardExport([&] {
    return Locked([&](Call& c) {
      return orv::proxy::SetUserProxy(c.store, c.journal, c.me, port);
    });
  });
}

uint32_t WINAPI OrvClearUserProxy() noexcept {
  return orv::GuardExport([&] {
    return Locked([&](Call& c) {
      return orv::proxy::ClearUserProxy(c.store, c.journal, c.me);
    });
  });
}

uint32_t WINAPI OrvRestoreUserProxy(int* outRestored) noexcept {
  return orv::GuardExport([&] {
    return Locked([&](Call& c) {
      return orv::proxy::RestoreUserProxy(c.store, c.journal, c.me, outRestored);
    });
  });
}

uint32_t WINAPI OrvReadEffectiveUserProxyConflict(int* outConflict) noexcept {
  if (outConflict == nullptr) return ERROR_INVALID_PARAMETER;
  return orv::GuardExport([&] {
    return Locked([&](Call& c) {
      int conflict = 0;
      const DWORD error = orv::proxy::ReadProxyConflict(c.store, c.journal, conflict);
      if (error == ERROR_SUCCESS) *outConflict = conflict;
      return error;
    });
  });
}

uint32_t WINAPI OrvBeginUserProxyCleanup(int* outTicket, int* outRestoreResult) noexcept {
  if (outTicket == nullptr || outRestoreResult == nullptr) return ERROR_INVALID_PARAMETER;
  *outTicket = 0;
  *outRestoreResult = 0;
  return orv::GuardExport([&] {
    return Locked(NotBusy, [&](Call& c) {
      return orv::proxy::BeginCleanup(c.store, c.journal, c.me, c.state.cleanup, *outTicket, *outRestoreResult);
    });
  });
}

uint32_t WINAPI OrvVerifyUserProxyCleanup(int ticket, int* outClean) noexcept {
  if (outClean == nullptr) return ERROR_INVALID_PARAMETER;
  return orv::GuardExport([&] {
    return Locked(OpenTicketOrZero(ticket), [&](Call& c) {
      int clean = 0;
      const DWORD error = orv::proxy::VerifyCleanup(c.store, c.journal, c.state.cleanup, static_cast<std::uint32_t>(ticket), clean);
      if (error == ERROR_SUCCESS) *outClean = clean;
      return error;
    });
  });
}

uint32_t WINAPI OrvFinishUserProxyCleanup(int ticket, int restore) noexcept {
  if (ticket == 0) return ERROR_SUCCESS;
  return orv::GuardExport([&] {
    return Locked(OpenTicketOrZero(ticket), [&](Call& c) {
      return orv::proxy::FinishCleanup(c.store, c.journal, c.me, c.state.cleanup, static_cast<std::uint32_t>(ticket),
                                       restore != 0);
    });
  });
}

}  // extern "C"
