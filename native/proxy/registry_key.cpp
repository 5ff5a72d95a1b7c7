#include "native/proxy/registry_key.h"

#include <vector>

namespace orv::proxy {

LSTATUS RegistryKey::Open(const wchar_t* path, REGSAM access, RegistryKey& key) {
  return ::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, access, key.key_.put());
}

LSTATUS RegistryKey::Create(const wchar_t* path, REGSAM access, RegistryKey& key) {
  return ::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, access, nullptr, key.key_.put(), nullptr);
}

DWORD RegistryKey::Read(const wchar_t* name, DWORD maxBytes, RawValue& value) const {
  value = RawValue{};
  DWORD type = 0;
  DWORD size = 0;
  LSTATUS status = ::RegQueryValueExW(key_.get(), name, nullptr, &type, nullptr, &size);
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  if (size > maxBytes) return ERROR_INVALID_DATA;
  std::vector<std::uint8_t> data(size == 0 ? 1 : size);
  DWORD returned = static_cast<DWORD>(data.size());
  status = ::RegQueryValueExW(key_.get(), name, nullptr, &type, data.data(), &returned);
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  data.resize(returned);
  value.present = true;
  value.type = type;
  value.data = std::move(data);
  return ERROR_SUCCESS;
}

LSTATUS RegistryKey::Write(const wchar_t* name, const RawValue& value) const {
  if (!value.present) return ::RegDeleteValueW(key_.get(), name);
  return ::RegSetValueExW(key_.get(), name, 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
}

}  // namespace orv::proxy
