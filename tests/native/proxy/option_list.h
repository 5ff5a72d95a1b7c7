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
// empty): the flags as the user chose them (INTERNET_PER_CONN_FLAGS_UI) are
// `options.flags`, the flags in effect (INTERNET_PER_CONN_FLAGS) are
// `flagsInEffect`, which lack the auto-detect bit after a failed detection.
// ERROR_INVALID_PARAMETER, with dwOptionError set, for an unknown entry.
DWORD AnswerOptionQuery(const ProxyOptions& options, DWORD flagsInEffect, INTERNET_PER_CONN_OPTION_LISTW& list);

// Whether a query asks for the flags as the user chose them.
bool AsksForUserFlags(const INTERNET_PER_CONN_OPTION_LISTW& list);

// Applies each entry of a set to `options`; nothing changes on failure. Only
// the flags in effect can be set, and setting them sets the user's too.
DWORD ApplyOptionSet(const INTERNET_PER_CONN_OPTION_LISTW& list, ProxyOptions& options);

}  // namespace orv::proxy::test
