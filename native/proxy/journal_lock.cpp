#include "native/proxy/journal_lock.h"

#include <sddl.h>

#include "native/user/token_queries.h"

namespace orv::proxy {
namespace {

// What the lock is used for: waiting on it and releasing it.
constexpr DWORD kLockAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// Full access for the user, the process's own user (who may run elevated as
// someone else) and the system; a medium label, so a holder of any
// integrity level leaves the mutex usable to a plain one.
UniqueSecurityDescriptor LockDescriptor(const std::wstring& userSid) {
  std::wstring sddl = L"D:P(A;;GA;;;SY)";
  if (!userSid.empty()) sddl += L"(A;;GA;;;" + userSid + L")";
  const std::wstring processSid = ProcessUserSid();
  if (!processSid.empty() && processSid != userSid) sddl += L"(A;;GA;;;" + processSid + L")";
  sddl += L"S:(ML;;NW;;;ME)";
  UniqueSecurityDescriptor descriptor;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, descriptor.put(),
                                                              nullptr)) {
    descriptor.reset();
  }
  return descriptor;
}

// The user whose settings the exports write, or the process's own.
std::wstring LockUserSid(HANDLE userToken) {
  std::wstring sid = userToken != nullptr ? TokenSidString(userToken) : std::wstring();
  return sid.empty() ? ProcessUserSid() : sid;
}

}  // namespace

std::wstring JournalLockName(const std::wstring& userSid) {
  if (userSid.empty()) return L"Local\\KilnaProxyJournal";
  return L"Global\\KilnaProxyJournal-" + userSid;
}

std::wstring JournalLockNameFor(HANDLE userToken) { return JournalLockName(LockUserSid(userToken)); }

JournalLock::JournalLock(HANDLE userToken, DWORD waitMs) {
  const std::wstring sid = LockUserSid(userToken);
  // Without a descriptor the mutex still works for this user: the default
  // one grants the creator.
  UniqueSecurityDescriptor descriptor = LockDescriptor(sid);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  mutex_.reset(::CreateMutexExW(descriptor ? &attributes : nullptr, JournalLockName(sid).c_str(), 0, kLockAccess));
  if (!mutex_) {
    const DWORD error = ::GetLastError();
    error_ = error != ERROR_SUCCESS ? error : ERROR_INVALID_HANDLE;
    return;
  }
  // An abandoned mutex is still ours: the journal is never half-written.
  const DWORD waited = ::WaitForSingleObject(mutex_.get(), waitMs);
  if (waited == WAIT_TIMEOUT) {
    error_ = ERROR_TIMEOUT;
  } else if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    const DWORD error = ::GetLastError();
    error_ = error != ERROR_SUCCESS ? error : ERROR_INVALID_HANDLE;
  }
}

JournalLock::~JournalLock() {
  if (error_ == ERROR_SUCCESS) ::ReleaseMutex(mutex_.get());
}

}  // namespace orv::proxy
