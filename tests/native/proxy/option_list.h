#pragma once
// Test support: the per-connection option list of WinINet as Windows documents
// it, answered from and applied to a proxy options record. Shared by the fake
// options store and the test wininet.dll.

#include <windows.h>

#include <wininet.h>

#include "native/proxy/proxy_values.h"

namespace orv::proxy::test {

// Whether a query or set buffer is a list for the default connection.
bool IsDefaultConnectionList(const INTERNET_PER_CONN_OPTION_LISTW* list, DWORD length);

// Fills each entry of a query, strings as GlobalAlloc'd copies (null when
// empty). ERROR_INVALID_PARAMETER, with dwOptionError set, for an unknown entry.
DWORD AnswerOptionQuery(const ProxyOptions& options, INTERNET_PER_CONN_OPTION_LISTW& list);

// Applies each entry of a set to `options`; nothing changes on failure.
DWORD ApplyOptionSet(const INTERNET_PER_CONN_OPTION_LISTW& list, ProxyOptions& options);

}  // namespace orv::proxy::test
