#pragma once
// The user's Internet Settings key and the four proxy values kept in it.

#include <windows.h>

#include <cstddef>

#include "native/common/unique_resource.h"
#include "native/proxy/proxy_values.h"

namespace orv::proxy {

inline constexpr wchar_t kInternetSettingsPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Value names by slot: "ProxyEnable", "ProxyServer", "ProxyOverride", "AutoConfigURL".
const wchar_t* RawSlotName(std::size_t slot);

// Values above this size are refused rather than read.
inline constexpr DWORD kMaxRawValueBytes = 0x100000;

// Opens the key in the hive HKEY_CURRENT_USER stands for (the interactive
// user's, once the user context is captured). Must run as that user.
LSTATUS OpenInternetSettings(REGSAM access, UniqueRegKey& key);

// Reads one value exactly as stored; a missing value is absent, not an error.
DWORD ReadRawValue(HKEY key, const wchar_t* name, RawValue& value);

// Writes `value` with its own type and bytes, or deletes the value when absent.
LSTATUS WriteRawValue(HKEY key, const wchar_t* name, const RawValue& value);

}  // namespace orv::proxy
