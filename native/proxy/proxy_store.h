#pragma once
// The user's proxy settings: per-connection options and the raw registry
// values. Every call acts as the interactive user and fails with
// ERROR_NO_TOKEN when it cannot. The store keeps no state of its own.

#include <windows.h>

#include "native/proxy/proxy_platform.h"
#include "native/proxy/proxy_values.h"
#include "native/user/user_scope.h"

namespace orv::proxy {

class ProxyStore {
 public:
  explicit ProxyStore(const ProxyPlatform& platform) : platform_(platform) {}

  [[nodiscard]] DWORD ReadOptions(ProxyOptions& options) const;
  // Sets the options, then tells WinINet the settings changed and to refresh.
  [[nodiscard]] DWORD WriteOptions(const ProxyOptions& options) const;
  [[nodiscard]] DWORD Refresh() const;
  [[nodiscard]] DWORD ReadSnapshot(ProxySnapshot& snapshot) const;
  // Writes `target` only into slots that still hold `expected`; ERROR_RETRY
  // when one does not. `wrote` is set once a write or delete is attempted.
  [[nodiscard]] DWORD CompareAndSetRaw(const RawSlots& expected, const RawSlots& target, bool* wrote) const;
  // Writes `target` where the settings still hold `expected`, then checks
  // that they read back as `target`.
  [[nodiscard]] DWORD ApplySnapshot(const ProxySnapshot& target, const ProxySnapshot& expected) const;
  // "ProxyEnable" set to 0 (the switch itself is the user's, so kept) and
  // "AutoConfigURL" deleted, then the refresh; nothing to do without the key.
  [[nodiscard]] DWORD TurnRawProxyOff() const;

  // Called before every write the store or the journal makes.
  void BeforeWrite() const {
    if (platform_.beforeWrite) platform_.beforeWrite();
  }

  // Acts as the user the store reads and writes for; test impersonating().
  UserScope EnterUserScope() const { return UserScope(platform_.userToken(), UserScopePlatform{}); }

 private:
  [[nodiscard]] DWORD RefreshAsUser() const;

  const ProxyPlatform& platform_;
};

}  // namespace orv::proxy
