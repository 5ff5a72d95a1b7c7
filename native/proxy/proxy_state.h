#pragma once
// Process-wide proxy state and the one mutex that guards it. The state-changing
// proxy exports hold the mutex for their whole body.

#include <cstdint>
#include <mutex>

#include "native/proxy/proxy_values.h"

namespace orv::proxy {

// Links a set to the restore that undoes it.
struct SavedProxyState {
  bool saved = false;
  ProxyOptions priorOptions;  // the user's options before the first set
  ProxyText appliedServer;    // what this program last set
};

// The cleanup that is open, if any.
struct CleanupState {
  std::uint32_t openTicket = 0;  // 0: none open
  std::uint32_t ticketCounter = 0;
  ProxySnapshot priorSnapshot;
  ProxySnapshot cleanedSnapshot;
};

struct ProxyState {
  SavedProxyState saved;
  CleanupState cleanup;
};

std::mutex& ProxyMutex();
// Only to be touched with ProxyMutex() held.
ProxyState& GuardedProxyState();

}  // namespace orv::proxy
