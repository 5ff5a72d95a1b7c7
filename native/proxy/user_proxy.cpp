#include "native/proxy/user_proxy.h"

#include "native/common/unique_resource.h"
#include "native/proxy/applied_proxy.h"
#include "native/proxy/internet_settings_key.h"

namespace orv::proxy {

DWORD SetUserProxy(const ProxyStore& store, SavedProxyState& state, std::uint32_t port) {
  ProxyOptions current;
  if (const DWORD error = store.ReadOptions(current); error != ERROR_SUCCESS) return error;
  ProxyOptions applied = AppliedOptions(port);
  SavedProxyState before = state;
  SavedProxyState after = state;
  // A set over our own options keeps the user's captured ones; anything else
  // in place now is the user's (or was changed by someone since) and is kept.
  if (!after.saved || !IsOwnOptions(current, after.appliedServer)) {
    after.priorOptions = current;
    after.saved = true;
  }
  after.appliedServer = applied.proxyServer;
  state = std::move(after);

  const DWORD error = store.WriteOptions(applied);
  if (error == ERROR_SUCCESS) return ERROR_SUCCESS;
  // Keep the updated state unless the user's options are really back, so a
  // later restore can still put them back.
  if (store.WriteOptions(current) == ERROR_SUCCESS) state = std::move(before);
  return error;
}

DWORD ClearUserProxy(const ProxyStore& store, SavedProxyState& state) {
  ProxyOptions current;
  if (const DWORD error = store.ReadOptions(current); error != ERROR_SUCCESS) return error;
  ProxyOptions direct;
  direct.flags = kProxyTypeDirect;
  // Our own "<local>" is not the user's bypass list: theirs was captured by the set.
  const bool ours = state.saved && IsOwnOptions(current, state.appliedServer);
  direct.proxyBypass = ours ? state.priorOptions.proxyBypass : current.proxyBypass;
  if (const DWORD error = store.WriteOptions(direct); error != ERROR_SUCCESS) return error;
  state.saved = false;
  state.appliedServer.clear();

  const UserScope scope = store.EnterUserScope();
  if (!scope.impersonating()) return ERROR_NO_TOKEN;
  LSTATUS enabled = ERROR_SUCCESS;
  LSTATUS deleted = ERROR_SUCCESS;
  {
    UniqueRegKey key;
    const LSTATUS opened = OpenInternetSettings(KEY_SET_VALUE, key);
    if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
    // Turned off, not deleted: the switch itself is the user's.
    enabled = WriteRawValue(key.get(), RawSlotName(kSlotProxyEnable), DwordValue(0));
    deleted = ::RegDeleteValueW(key.get(), RawSlotName(kSlotAutoConfigUrl));
  }
  if (enabled != ERROR_SUCCESS) return static_cast<DWORD>(enabled);
  if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) return static_cast<DWORD>(deleted);
  return store.Refresh();
}

DWORD RestoreUserProxy(const ProxyStore& store, SavedProxyState& state, int* outRestored) {
  if (outRestored != nullptr) *outRestored = 0;
  if (!state.saved) return ERROR_SUCCESS;
  ProxyOptions current;
  if (const DWORD error = store.ReadOptions(current); error != ERROR_SUCCESS) return error;
  // While traffic still goes through our server, leaving it would cut the user
  // off once we exit, whatever else was changed around it. A proxy someone
  // else put in place since the set is theirs: leave it.
  if (RoutesThroughApplied(current, state.appliedServer)) {
    if (const DWORD error = store.WriteOptions(state.priorOptions); error != ERROR_SUCCESS) return error;
  }
  if (outRestored != nullptr) *outRestored = 1;
  state.saved = false;
  state.appliedServer.clear();
  return ERROR_SUCCESS;
}

}  // namespace orv::proxy
