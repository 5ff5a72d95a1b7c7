#include "native/user/user_scope.h"

namespace orv {

UserScope::UserScope(HANDLE userToken, const UserScopePlatform& platform) noexcept : platform_(platform) {
  if (!platform_.OpenThreadToken(::GetCurrentThread(), TOKEN_IMPERSONATE | TOKEN_QUERY, TRUE, saved_.put())) {
    saved_.release();
    // Without knowing what to put back we must not change the thread at all.
    if (::GetLastError() != ERROR_NO_TOKEN) return;
  }
  if (userToken == nullptr) return;
  impersonating_ = platform_.ImpersonateLoggedOnUser(userToken) != FALSE;
}

UserScope::~UserScope() {
  if (impersonating_) {
    const BOOL restored = saved_ ? platform_.SetThreadToken(nullptr, saved_.get()) : platform_.RevertToSelf();
    // The thread must never go on running as the user.
    if (!restored) ::TerminateProcess(::GetCurrentProcess(), kRevertFailedExitCode);
  }
}

}  // namespace orv
