#pragma once
// What the proxy exports run against: WinINet's per-connection options
// (reached through exactly the two calls the store makes), the user they act
// as, who owns a journal entry and how long the journal's lock is waited for.
// Production uses WinINet itself, loaded from the system folder at run time;
// tests install an options store of their own (Wine's does not keep what
// Windows keeps).

#include <windows.h>

#include <wininet.h>

#include <cstddef>
#include <functional>

#include "native/proxy/journal_owner.h"
#include "native/proxy/proxy_journal.h"
#include "native/user/user_context.h"

namespace orv::proxy {

struct PerConnectionOptionsApi {
  BOOL(WINAPI* queryOption)(HINTERNET internet, DWORD option, LPVOID buffer, LPDWORD length);
  BOOL(WINAPI* setOption)(HINTERNET internet, DWORD option, LPVOID buffer, DWORD length);
};

// The two calls as `wininet` exports them. When it is null (WinINet could not
// be loaded) both fail with ERROR_MOD_NOT_FOUND; when it lacks either, with
// ERROR_PROC_NOT_FOUND. They then touch nothing.
PerConnectionOptionsApi ResolveOptionsApi(HMODULE wininet) noexcept;

// WinINet loaded once, from the system folder alone and kept until exit: the
// process runs elevated, often from a folder the user can write, where a
// search by name would look first.
const PerConnectionOptionsApi& WinInetOptionsApi();

// What the proxy store runs against.
struct ProxyPlatform {
  PerConnectionOptionsApi options = WinInetOptionsApi();
  // The user every read and write acts as.
  HANDLE (*userToken)() noexcept = InteractiveUserToken;
  // Runs just before a compare-and-set reads a slot to check it: the moment
  // another writer could slip in. Empty in the product.
  std::function<void(std::size_t slot)> beforeCompareRead;
  // Runs just before each write to the user's settings (options or a raw
  // value) and to the journal: the instants a kill can cut a call short.
  // Empty in the product.
  std::function<void()> beforeWrite;
  // Who owns a journal entry written now, and whether an owner still runs.
  std::function<JournalOwner()> thisProcess = CurrentProcessOwner;
  std::function<bool(const JournalOwner&)> ownerRunning = ProcessStillRunning;
  // How long a call waits for the journal's lock before it gives up with
  // ERROR_TIMEOUT, changing nothing: a holder that hangs stalls no one for good.
  DWORD journalLockWaitMs = 10000;
};

// The platform the proxy exports use; WinINet unless replaced.
ProxyPlatform& CurrentProxyPlatform();

}  // namespace orv::proxy
