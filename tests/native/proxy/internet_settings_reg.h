#pragma once
// Test support: the user's Internet Settings key written and read back with
// Wine's reg.exe, a reader independent of the code under test.

#include <string>

namespace orv::proxy::test {

void RegAddSetting(const wchar_t* name, const wchar_t* type, const wchar_t* data);
void RegDeleteSetting(const wchar_t* name);
// The key as reg.exe exports it (UTF-16 decoded).
std::wstring RegExportSettings();

// ProxyEnable 1, a server, "<local>" bypassed, no auto-config URL.
void RegWriteManualProxy();

}  // namespace orv::proxy::test
