#pragma once
// The platform calls of the user-context capture, as one table. Production
// code uses the default-constructed table, which holds the real functions;
// tests replace single entries to produce what a real machine can but a test
// machine cannot (a process that is not elevated, a shell in another session,
// a profile folder that cannot be resolved).

#include <windows.h>

#include <sddl.h>
#include <shlobj.h>

namespace orv {

struct UserContextPlatform {
  decltype(&::OpenProcessToken) OpenProcessToken = ::OpenProcessToken;
  decltype(&::GetTokenInformation) GetTokenInformation = ::GetTokenInformation;
  decltype(&::GetShellWindow) GetShellWindow = ::GetShellWindow;
  decltype(&::GetWindowThreadProcessId) GetWindowThreadProcessId = ::GetWindowThreadProcessId;
  decltype(&::ProcessIdToSessionId) ProcessIdToSessionId = ::ProcessIdToSessionId;
  decltype(&::LookupPrivilegeValueW) LookupPrivilegeValueW = ::LookupPrivilegeValueW;
  decltype(&::AdjustTokenPrivileges) AdjustTokenPrivileges = ::AdjustTokenPrivileges;
  decltype(&::OpenProcess) OpenProcess = ::OpenProcess;
  decltype(&::ConvertSidToStringSidW) ConvertSidToStringSidW = ::ConvertSidToStringSidW;
  decltype(&::SHGetKnownFolderPath) SHGetKnownFolderPath = ::SHGetKnownFolderPath;
  decltype(&::GetWindowsDirectoryW) GetWindowsDirectoryW = ::GetWindowsDirectoryW;
  decltype(&::RegOpenKeyExW) RegOpenKeyExW = ::RegOpenKeyExW;
  decltype(&::RegOverridePredefKey) RegOverridePredefKey = ::RegOverridePredefKey;
  decltype(&::SetEnvironmentVariableW) SetEnvironmentVariableW = ::SetEnvironmentVariableW;
};

}  // namespace orv
