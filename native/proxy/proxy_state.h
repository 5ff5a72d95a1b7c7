#pragma once
// Process-wide proxy state and the one mutex that guards it. The state-changing
// proxy exports hold the mutex for their whole body.

#include <cstdint>
#include <mutex>

#include "native/proxy/proxy_values.h"

namespace orv::proxy {

// The cleanup that is open, if any.
struct CleanupState {
  std::uint32_t openTicket = 0;  // 0: none open
  std::uint32_t ticketCounter = 0;
  ProxySnapshot priorSnapshot;
  ProxySnapshot cleanedSnapshot;
  bool restoreStarted = false;  // a Finish began putting the copy back and stopped
};

// What a set saves for the restore lives in the journal (journal_store.h),
// shared with other processes and with the next one after a crash.
struct ProxyState {
  CleanupState cleanup;
};

std::mutex& ProxyMutex();
// Only to be touched with ProxyMutex() held.
ProxyState& GuardedProxyState();

}  // namespace orv::proxy
