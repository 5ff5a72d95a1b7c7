#pragma once
// The lock every kilna.exe of a user holds around a proxy export, so that
// journal and settings change under one writer at a time. It is named after
// the user whose settings and journal the exports write, in the global
// namespace, so processes of that user share it whatever their session or
// elevation; its descriptor grants that user (and the process's own user) so
// an elevated holder never shuts a plain one out.

#include <windows.h>

#include <string>

#include "native/common/unique_resource.h"

namespace orv::proxy {

// "Global\KilnaProxyJournal-<SID>" for a user SID in its string form; the
// session's "Local\KilnaProxyJournal" when no SID is known.
std::wstring JournalLockName(const std::wstring& userSid);

// The lock's name for the user of `userToken`, or of the process when that
// token says nothing.
std::wstring JournalLockNameFor(HANDLE userToken);

// Held from construction to destruction once error() is 0. Waits at most
// `waitMs`, then holds nothing and reports ERROR_TIMEOUT; a mutex that
// cannot be created or opened reports why.
class JournalLock {
 public:
  JournalLock(HANDLE userToken, DWORD waitMs);
  ~JournalLock();
  JournalLock(const JournalLock&) = delete;
  JournalLock& operator=(const JournalLock&) = delete;

  [[nodiscard]] DWORD error() const { return error_; }

 private:
  UniqueHandle mutex_;
  DWORD error_ = ERROR_SUCCESS;
};

}  // namespace orv::proxy
