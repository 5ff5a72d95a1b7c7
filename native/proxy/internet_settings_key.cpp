#include "native/proxy/internet_settings_key.h"

namespace orv::proxy {

const wchar_t* RawSlotName(std::size_t slot) {
  static constexpr const wchar_t* kNames[kRawSlotCount] = {L"ProxyEnable", L"ProxyServer", L"ProxyOverride",
                                                           L"AutoConfigURL"};
  return kNames[slot];
}

LSTATUS OpenInternetSettings(REGSAM access, RegistryKey& key) {
  return RegistryKey::Open(kInternetSettingsPath, access, key);
}

DWORD ReadRawSlot(const RegistryKey& key, std::size_t slot, RawValue& value) {
  return key.Read(RawSlotName(slot), kMaxRawValueBytes, value);
}

}  // namespace orv::proxy
