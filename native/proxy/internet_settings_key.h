#pragma once
// The user's Internet Settings key and the four proxy values kept in it.

#include <windows.h>

#include <cstddef>

#include "native/proxy/proxy_values.h"
#include "native/proxy/registry_key.h"

namespace orv::proxy {

inline constexpr wchar_t kInternetSettingsPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Value names by slot: "ProxyEnable", "ProxyServer", "ProxyOverride", "AutoConfigURL".
const wchar_t* RawSlotName(std::size_t slot);

// Values above this size are refused rather than read.
inline constexpr DWORD kMaxRawValueBytes = 0x100000;

// Opens the key in the hive HKEY_CURRENT_USER stands for (the interactive
// user's, once the user context is captured). Must run as that user.
[[nodiscard]] LSTATUS OpenInternetSettings(REGSAM access, RegistryKey& key);

// One of the four values, as stored (at most kMaxRawValueBytes).
[[nodiscard]] DWORD ReadRawSlot(const RegistryKey& key, std::size_t slot, RawValue& value);

}  // namespace orv::proxy
