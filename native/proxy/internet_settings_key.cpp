#include "native/proxy/internet_settings_key.h"

#include <vector>

namespace orv::proxy {

const wchar_t* RawSlotName(std::size_t slot) {
  static constexpr const wchar_t* kNames[kRawSlotCount] = {L"ProxyEnable", L"ProxyServer", L"ProxyOverride",
                                                           L"AutoConfigURL"};
  return kNames[slot];
}

LSTATUS OpenInternetSettings(REGSAM access, UniqueRegKey& key) {
  return ::RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettingsPath, 0, access, key.put());
}

DWORD ReadRawValue(HKEY key, const wchar_t* name, RawValue& value) {
  value = RawValue{};
  DWORD type = 0;
  DWORD size = 0;
  LSTATUS status = ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  if (size > kMaxRawValueBytes) return ERROR_INVALID_DATA;
  std::vector<std::uint8_t> data(size == 0 ? 1 : size);
  DWORD returned = static_cast<DWORD>(data.size());
  status = ::RegQueryValueExW(key, name, nullptr, &type, data.data(), &returned);
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  data.resize(returned);
  value.present = true;
  value.type = type;
  value.data = std::move(data);
  return ERROR_SUCCESS;
}

LSTATUS WriteRawValue(HKEY key, const wchar_t* name, const RawValue& value) {
  if (!value.present) return ::RegDeleteValueW(key, name);
  return ::RegSetValueExW(key, name, 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
}

}  // namespace orv::proxy
