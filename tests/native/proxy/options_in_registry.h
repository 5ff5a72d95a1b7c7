#pragma once
// Test support: per-connection options kept in the user's Internet Settings
// values, the way WinINet mirrors them there. A set writes "ProxyEnable" as a
// DWORD and the three texts as REG_SZ (deleting empty ones, and the
// auto-config URL while it is off); a read takes the flags from those values
// (the direct bit always on, auto-detect not kept).

#include <windows.h>

#include "native/proxy/proxy_values.h"

namespace orv::proxy::test {

DWORD LoadOptionsFromRegistry(ProxyOptions& options);
DWORD StoreOptionsInRegistry(const ProxyOptions& options);

}  // namespace orv::proxy::test
