#include "native/proxy/proxy_store.h"

#include "native/proxy/cleanup_rules.h"
#include "native/proxy/internet_settings_key.h"
#include "native/proxy/proxy_text.h"

namespace orv::proxy {
namespace {

constexpr DWORD kOptionCount = 4;

// A call that failed without saying why must not read as success.
DWORD LastFailure() {
  const DWORD error = ::GetLastError();
  return error != ERROR_SUCCESS ? error : ERROR_INTERNAL_ERROR;
}

struct OptionList {
  INTERNET_PER_CONN_OPTIONW options[kOptionCount] = {};
  INTERNET_PER_CONN_OPTION_LISTW list = {};

  explicit OptionList(DWORD flagsOption) {
    options[0].dwOption = flagsOption;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    options[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
    list.dwSize = sizeof(list);
    list.pszConnection = nullptr;  // the default connection
    list.dwOptionCount = kOptionCount;
    list.dwOptionError = 0;
    list.pOptions = options;
  }
  OptionList(const OptionList&) = delete;
  OptionList& operator=(const OptionList&) = delete;
};
static_assert(sizeof(INTERNET_PER_CONN_OPTION_LISTW) == 32);

// Takes over a string WinINet allocated, whatever the outcome of the query.
UniqueGlobal OwnQueried(LPWSTR text) { return UniqueGlobal(reinterpret_cast<HGLOBAL>(text)); }

DWORD QueryOptions(const PerConnectionOptionsApi& api, DWORD flagsOption, ProxyOptions& options) {
  OptionList query(flagsOption);
  DWORD size = sizeof(query.list);
  const BOOL ok = api.queryOption(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &query.list, &size);
  const DWORD error = ok ? ERROR_SUCCESS : LastFailure();
  const UniqueGlobal server = OwnQueried(query.options[1].Value.pszValue);
  const UniqueGlobal bypass = OwnQueried(query.options[2].Value.pszValue);
  const UniqueGlobal url = OwnQueried(query.options[3].Value.pszValue);
  if (error != ERROR_SUCCESS) return error;
  ProxyOptions read;
  read.flags = query.options[0].Value.dwValue;
  read.proxyServer = ToProxyText(query.options[1].Value.pszValue);
  read.proxyBypass = ToProxyText(query.options[2].Value.pszValue);
  read.autoConfigUrl = ToProxyText(query.options[3].Value.pszValue);
  options = std::move(read);
  return ERROR_SUCCESS;
}

}  // namespace

DWORD ProxyStore::ReadOptions(ProxyOptions& options) const {
  const UserScope scope = EnterUserScope();
  if (!scope.impersonating()) return ERROR_NO_TOKEN;
  // WinINet drops the auto-detect bit from the flags in effect after a failed
  // detection; the flags as the user chose them keep it, so those are what a
  // restore must write back. A WinINet that does not know them answers the
  // flags in effect. Writes always set the flags in effect, which sets both.
  if (QueryOptions(platform_.options, INTERNET_PER_CONN_FLAGS_UI, options) == ERROR_SUCCESS) return ERROR_SUCCESS;
  return QueryOptions(platform_.options, INTERNET_PER_CONN_FLAGS, options);
}

DWORD ProxyStore::WriteOptions(const ProxyOptions& options) const {
  std::wstring server = ToWide(options.proxyServer);
  std::wstring bypass = ToWide(options.proxyBypass);
  std::wstring url = ToWide(options.autoConfigUrl);
  const UserScope scope = EnterUserScope();
  if (!scope.impersonating()) return ERROR_NO_TOKEN;
  OptionList set(INTERNET_PER_CONN_FLAGS);
  set.options[0].Value.dwValue = options.flags;
  set.options[1].Value.pszValue = server.data();
  set.options[2].Value.pszValue = bypass.data();
  set.options[3].Value.pszValue = url.data();
  BeforeWrite();
  if (!platform_.options.setOption(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &set.list, sizeof(set.list))) {
    return LastFailure();
  }
  return RefreshAsUser();
}

DWORD ProxyStore::Refresh() const {
  const UserScope scope = EnterUserScope();
  if (!scope.impersonating()) return ERROR_NO_TOKEN;
  return RefreshAsUser();
}

DWORD ProxyStore::RefreshAsUser() const {
  if (!platform_.options.setOption(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0)) return LastFailure();
  if (!platform_.options.setOption(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0)) return LastFailure();
  return ERROR_SUCCESS;
}

DWORD ProxyStore::ReadSnapshot(ProxySnapshot& snapshot) const {
  ProxySnapshot read;
  if (const DWORD error = ReadOptions(read.options); error != ERROR_SUCCESS) return error;
  const UserScope scope = EnterUserScope();
  if (!scope.impersonating()) return ERROR_NO_TOKEN;
  RegistryKey key;
  const LSTATUS opened = OpenInternetSettings(KEY_QUERY_VALUE, key);
  if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND) return static_cast<DWORD>(opened);
  if (opened == ERROR_SUCCESS) {
    for (std::size_t slot = 0; slot < kRawSlotCount; ++slot) {
      if (const DWORD error = ReadRawSlot(key, slot, read.raw[slot]); error != ERROR_SUCCESS) {
        return error;
      }
    }
  }
  snapshot = std::move(read);
  return ERROR_SUCCESS;
}

DWORD ProxyStore::CompareAndSetRaw(const RawSlots& expected, const RawSlots& target, bool* wrote) const {
  if (target == expected) return ERROR_SUCCESS;
  {
    const UserScope scope = EnterUserScope();
    if (!scope.impersonating()) return ERROR_NO_TOKEN;
    RegistryKey key;
    const LSTATUS opened = OpenInternetSettings(KEY_SET_VALUE | KEY_QUERY_VALUE, key);
    if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
    for (std::size_t slot = 0; slot < kRawSlotCount; ++slot) {
      if (target[slot] == expected[slot]) continue;
      if (platform_.beforeCompareRead) platform_.beforeCompareRead(slot);
      RawValue current;
      if (const DWORD error = ReadRawSlot(key, slot, current); error != ERROR_SUCCESS) return error;
      if (!(current == expected[slot])) return ERROR_RETRY;
      if (wrote != nullptr) *wrote = true;
      BeforeWrite();
      const LSTATUS written = key.Write(RawSlotName(slot), target[slot]);
      if (written != ERROR_SUCCESS) return static_cast<DWORD>(written);
    }
  }
  return Refresh();
}

DWORD ProxyStore::TurnRawProxyOff() const {
  LSTATUS enabled = ERROR_SUCCESS;
  LSTATUS deleted = ERROR_SUCCESS;
  {
    const UserScope scope = EnterUserScope();
    if (!scope.impersonating()) return ERROR_NO_TOKEN;
    RegistryKey key;
    const LSTATUS opened = OpenInternetSettings(KEY_SET_VALUE, key);
    if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
    BeforeWrite();
    enabled = key.Write(RawSlotName(kSlotProxyEnable), DwordValue(0));
    BeforeWrite();
    deleted = key.Write(RawSlotName(kSlotAutoConfigUrl), RawValue{});
  }
  if (enabled != ERROR_SUCCESS) return static_cast<DWORD>(enabled);
  if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) return static_cast<DWORD>(deleted);
  return Refresh();
}

DWORD ProxyStore::ApplySnapshot(const ProxySnapshot& target, const ProxySnapshot& expected) const {
  if (target == expected) return ERROR_SUCCESS;
  DWORD written = ERROR_SUCCESS;
  if (!(target.options == expected.options)) written = WriteOptions(target.options);
  ProxySnapshot current;
  if (const DWORD error = ReadSnapshot(current); error != ERROR_SUCCESS) return error;
  if (!(current.options == target.options)) return written != ERROR_SUCCESS ? written : ERROR_RETRY;
  for (std::size_t slot = 0; slot < kRawSlotCount; ++slot) {
    const RawValue& value = current.raw[slot];
    if (!(value == expected.raw[slot]) && !(value == target.raw[slot]) &&
        !RawConsistentWithOptions(slot, value, target.options)) {
      return ERROR_RETRY;
    }
  }
  if (const DWORD error = CompareAndSetRaw(current.raw, target.raw, nullptr); error != ERROR_SUCCESS) {
    return error;
  }
  if (written != ERROR_SUCCESS) {
    if (const DWORD error = Refresh(); error != ERROR_SUCCESS) return error;
  }
  ProxySnapshot after;
  if (const DWORD error = ReadSnapshot(after); error != ERROR_SUCCESS) return error;
  return after == target ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

}  // namespace orv::proxy
