#pragma once
// Test support: per-connection options kept in the user's Internet Settings
// values, the way WinINet mirrors them there. A set writes "ProxyEnable" as a
// DWORD and the three texts as REG_SZ (deleting empty ones, and the
// auto-config URL while it is off); a read takes the flags from those values
// (the direct bit always on). The auto-detect choice and a failed automatic
// detection are kept in DWORD values of this test support's own, "AutoDetect"
// and "DetectionFailed" under kTestDetectionPath (Windows keeps them in a
// binary value): a failed detection drops the auto-detect bit from the flags
// in effect only, and a set clears it.

#include <windows.h>

#include "native/proxy/proxy_values.h"

namespace orv::proxy::test {

inline constexpr wchar_t kTestDetectionPath[] = L"Software\\Kilna\\TestWinInet";

// `options.flags` as the user chose them, and the flags in effect.
DWORD LoadOptionsFromRegistry(ProxyOptions& options, DWORD& flagsInEffect);
DWORD StoreOptionsInRegistry(const ProxyOptions& options);

}  // namespace orv::proxy::test
