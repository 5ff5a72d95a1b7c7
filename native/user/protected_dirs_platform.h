#pragma once
// What the protected directories run against: the file-system and security
// calls as one table (production holds the real functions; tests substitute
// what Wine cannot show, such as per-handle security and reparse facts), and
// the process facts, handed in so that a test can place the bases anywhere.

#include <windows.h>

#include <aclapi.h>

#include <string>

#include "native/common/out_string.h"

namespace orv {

struct DirectoryPlatform {
  decltype(&::CreateDirectoryW) CreateDirectoryW = ::CreateDirectoryW;
  decltype(&::CreateFileW) CreateFileW = ::CreateFileW;
  decltype(&::GetFileAttributesW) GetFileAttributesW = ::GetFileAttributesW;
  decltype(&::GetFileInformationByHandle) GetFileInformationByHandle = ::GetFileInformationByHandle;
  decltype(&::GetSecurityInfo) GetSecurityInfo = ::GetSecurityInfo;
  decltype(&::SetFileInformationByHandle) SetFileInformationByHandle = ::SetFileInformationByHandle;
  decltype(&::RemoveDirectoryW) RemoveDirectoryW = ::RemoveDirectoryW;
};

// The process as the protected directories see it.
struct ProtectedDirsFacts {
  std::wstring programData;  // empty: never captured
  bool elevated = false;
  std::wstring userSid;  // the interactive user's SID string; empty without a token
};

struct ProtectedDirsContext {
  DirectoryPlatform calls;
  ProtectedDirsFacts facts;
  OutStringAllocator allocate = nullptr;  // null: CoTaskMemAlloc
};

}  // namespace orv
