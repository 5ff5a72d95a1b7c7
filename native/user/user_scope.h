#pragma once
// Acting as the interactive user on the calling thread for one stretch of
// work. The scope puts back whatever identity the thread had before (scopes
// nest), and ends the process rather than let a thread go on as the user when
// that cannot be undone.

#include <windows.h>

#include "native/common/unique_resource.h"
#include "native/user/user_context.h"

namespace orv {

// Exit code of a process that could not stop acting as the user.
constexpr UINT kRevertFailedExitCode = ERROR_CANNOT_IMPERSONATE;

// The impersonation calls of a scope; the default table holds the real ones.
struct UserScopePlatform {
  decltype(&::OpenThreadToken) OpenThreadToken = ::OpenThreadToken;
  decltype(&::ImpersonateLoggedOnUser) ImpersonateLoggedOnUser = ::ImpersonateLoggedOnUser;
  decltype(&::SetThreadToken) SetThreadToken = ::SetThreadToken;
  decltype(&::RevertToSelf) RevertToSelf = ::RevertToSelf;
};

class UserScope {
 public:
  // Acts as the captured interactive user.
  UserScope() noexcept : UserScope(InteractiveUserToken(), UserScopePlatform{}) {}
  UserScope(HANDLE userToken, const UserScopePlatform& platform) noexcept;
  ~UserScope();
  UserScope(const UserScope&) = delete;
  UserScope& operator=(const UserScope&) = delete;

  // False: no token, or the thread could not take it on. Do no user work then.
  bool impersonating() const noexcept { return impersonating_; }

 private:
  UserScopePlatform platform_;
  UniqueHandle saved_;  // the thread's own token from before, if it had one
  bool impersonating_ = false;
};

// Runs `work` (returning a Windows error code) as the interactive user, or
// returns ERROR_NO_TOKEN without running it.
template <typename Work>
[[nodiscard]] DWORD ActAsInteractiveUser(Work&& work) {
  UserScope scope;
  if (!scope.impersonating()) return ERROR_NO_TOKEN;
  return work();
}

}  // namespace orv
