#include "tests/native/proxy/options_in_registry.h"

#include "native/common/unique_resource.h"
#include "native/proxy/internet_settings_key.h"

namespace orv::proxy::test {
namespace {

RawValue TextOrAbsent(const ProxyText& text) { return text.empty() ? RawValue{} : TextValue(kRegSz, text); }

bool DetectionValue(const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  return ::RegGetValueW(HKEY_CURRENT_USER, kTestDetectionPath, name, RRF_RT_REG_DWORD, nullptr, &value, &size) ==
             ERROR_SUCCESS &&
         value != 0;
}

}  // namespace

DWORD LoadOptionsFromRegistry(ProxyOptions& options, DWORD& flagsInEffect) {
  RegistryKey key;
  const LSTATUS opened = OpenInternetSettings(KEY_QUERY_VALUE, key);
  RawSlots raw;
  if (opened != ERROR_SUCCESS && opened != ERROR_FILE_NOT_FOUND) return static_cast<DWORD>(opened);
  for (std::size_t slot = 0; opened == ERROR_SUCCESS && slot < kRawSlotCount; ++slot) {
    if (const DWORD error = ReadRawSlot(key, slot, raw[slot]); error != ERROR_SUCCESS) return error;
  }
  ProxyOptions read;
  if (RawValueIsOn(raw[kSlotProxyEnable])) read.flags |= kProxyTypeProxy;
  if (RawValueIsNonBlank(raw[kSlotAutoConfigUrl])) read.flags |= kProxyTypeAutoProxyUrl;
  RawValueText(raw[kSlotProxyServer], read.proxyServer);
  RawValueText(raw[kSlotProxyOverride], read.proxyBypass);
  RawValueText(raw[kSlotAutoConfigUrl], read.autoConfigUrl);
  if (DetectionValue(L"AutoDetect")) read.flags |= kProxyTypeAutoDetect;
  flagsInEffect = DetectionValue(L"DetectionFailed") ? read.flags & ~kProxyTypeAutoDetect : read.flags;
  options = std::move(read);
  return ERROR_SUCCESS;
}

DWORD StoreOptionsInRegistry(const ProxyOptions& options) {
  RegistryKey key;
  const LSTATUS created = RegistryKey::Create(kInternetSettingsPath, KEY_SET_VALUE, key);
  if (created != ERROR_SUCCESS) return static_cast<DWORD>(created);
  const bool pac = (options.flags & kProxyTypeAutoProxyUrl) != 0;
  const RawSlots values = {DwordValue((options.flags & kProxyTypeProxy) != 0 ? 1 : 0),
                           TextOrAbsent(options.proxyServer), TextOrAbsent(options.proxyBypass),
                           TextOrAbsent(pac ? options.autoConfigUrl : ProxyText{})};
  for (std::size_t slot = 0; slot < kRawSlotCount; ++slot) {
    const LSTATUS status = key.Write(RawSlotName(slot), values[slot]);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return static_cast<DWORD>(status);
  }
  RegistryKey detection;
  const LSTATUS opened = RegistryKey::Create(kTestDetectionPath, KEY_SET_VALUE, detection);
  if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
  const LSTATUS chosen =
      detection.Write(L"AutoDetect", DwordValue((options.flags & kProxyTypeAutoDetect) != 0 ? 1 : 0));
  if (chosen != ERROR_SUCCESS) return static_cast<DWORD>(chosen);
  const LSTATUS cleared = detection.Write(L"DetectionFailed", RawValue{});
  return cleared == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : static_cast<DWORD>(cleared);
}

}  // namespace orv::proxy::test
