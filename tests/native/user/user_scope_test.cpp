// Acting as the user on the calling thread: what the thread runs as inside a
// scope and afterwards, nesting, and every refusal.

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "native/common/unique_resource.h"
#include "native/user/user_scope.h"
#include "tests/native/user/user_probe_run.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

// The thread's own token's id, or nullopt when the thread has none.
std::optional<LUID> ThreadTokenId() {
  UniqueHandle token;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) return std::nullopt;
  TOKEN_STATISTICS statistics{};
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenStatistics, &statistics, sizeof statistics, &size)) return std::nullopt;
  return statistics.TokenId;
}

bool Same(const std::optional<LUID>& a, const std::optional<LUID>& b) {
  if (!a || !b) return a.has_value() == b.has_value();
  return a->LowPart == b->LowPart && a->HighPart == b->HighPart;
}

UniqueHandle OwnPrimaryToken() {
  UniqueHandle token;
  ::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY, token.put());
  return token;
}

class UserScopeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(user_);
    ASSERT_FALSE(ThreadTokenId().has_value()) << "the thread starts as itself";
  }
  void TearDown() override { ::RevertToSelf(); }
  UniqueHandle user_ = OwnPrimaryToken();
};

TEST_F(UserScopeTest, ActsAsTheUserInsideAndAsItselfAfterwards) {
  {
    UserScope scope(user_.get(), {});
    ASSERT_TRUE(scope.impersonating());
    EXPECT_TRUE(ThreadTokenId().has_value());
  }
  EXPECT_FALSE(ThreadTokenId().has_value());
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
}

TEST_F(UserScopeTest, PutsBackTheIdentityTheThreadHadBefore) {
  ASSERT_TRUE(::ImpersonateSelf(SecurityImpersonation));
  const auto before = ThreadTokenId();
  ASSERT_TRUE(before.has_value());
  {
    UserScope scope(user_.get(), {});
    ASSERT_TRUE(scope.impersonating());
    EXPECT_FALSE(Same(ThreadTokenId(), before)) << "the scope runs on a token of its own";
  }
  EXPECT_TRUE(Same(ThreadTokenId(), before));
}

TEST_F(UserScopeTest, NestedScopesRestoreTheOuterScopesIdentity) {
  UserScope outer(user_.get(), {});
  ASSERT_TRUE(outer.impersonating());
  const auto outerToken = ThreadTokenId();
  {
    UserScope inner(user_.get(), {});
    ASSERT_TRUE(inner.impersonating());
    EXPECT_FALSE(Same(ThreadTokenId(), outerToken));
  }
  EXPECT_TRUE(Same(ThreadTokenId(), outerToken));
}

// Counts of the calls a fake table saw.
int g_impersonations = 0;
int g_restores = 0;

UserScopePlatform CountingPlatform() {
  g_impersonations = 0;
  g_restores = 0;
  UserScopePlatform platform;
  platform.ImpersonateLoggedOnUser = [](HANDLE token) -> BOOL {
    ++g_impersonations;
    return ::ImpersonateLoggedOnUser(token);
  };
  platform.RevertToSelf = []() -> BOOL {
    ++g_restores;
    return ::RevertToSelf();
  };
  platform.SetThreadToken = [](PHANDLE thread, HANDLE token) -> BOOL {
    ++g_restores;
    return ::SetThreadToken(thread, token);
  };
  return platform;
}

TEST_F(UserScopeTest, RefusesAndLeavesTheThreadAloneWhenItCannotActAsTheUser) {
  ASSERT_TRUE(::ImpersonateSelf(SecurityImpersonation));
  const auto before = ThreadTokenId();

  {  // no user token
    UserScope scope(nullptr, CountingPlatform());
    EXPECT_FALSE(scope.impersonating());
    EXPECT_EQ(g_impersonations, 0);
  }
  EXPECT_EQ(g_restores, 0);
  EXPECT_TRUE(Same(ThreadTokenId(), before));

  struct Refusal {
    const char* what;
    UserScopePlatform platform;
    int impersonations;
  };
  Refusal refusals[] = {{"the thread's own token cannot be read: nothing may change", CountingPlatform(), 0},
                        {"the platform refuses the user's token", CountingPlatform(), 1}};
  refusals[0].platform.OpenThreadToken = [](HANDLE, DWORD, BOOL, PHANDLE) -> BOOL {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  };
  refusals[1].platform.ImpersonateLoggedOnUser = [](HANDLE) -> BOOL {
    ++g_impersonations;
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.what);
    g_impersonations = 0;
    g_restores = 0;
    {
      UserScope scope(user_.get(), refusal.platform);
      EXPECT_FALSE(scope.impersonating());
      EXPECT_EQ(g_impersonations, refusal.impersonations);
    }
    EXPECT_EQ(g_restores, 0);
    EXPECT_TRUE(Same(ThreadTokenId(), before));
  }
}

TEST_F(UserScopeTest, AScopeUnwoundByAnExceptionStillReverts) {
  try {
    UserScope scope(user_.get(), {});
    ASSERT_TRUE(scope.impersonating());
    throw std::runtime_error("work failed half-way");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(ThreadTokenId().has_value());
}

TEST(UserScopeProcess, WithoutACaptureNoUserWorkRunsAndBothExportsAreNull) {
  const auto report = RunUserProbe(L"no-capture");
  ASSERT_EQ(report.process.exitCode, 0u);
  EXPECT_EQ(report["result"], "1008");
  EXPECT_EQ(report["ran"], "0");
  EXPECT_EQ(report["threadToken"], "0");
  EXPECT_EQ(report["token"], "0");
  EXPECT_EQ(report["hasContext"], "0");
}

TEST(UserScopeProcess, AnUndoThatFailsEndsTheProcessWith1368) {
  EXPECT_EQ(RunUserProbe(L"revert-fails").process.exitCode, 1368u);
  EXPECT_EQ(RunUserProbe(L"restore-fails").process.exitCode, 1368u);
}

TEST(UserScopeProcess, ActsAsTheCapturedShellUser) {
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  const auto report = RunUserProbe(L"act-as-user");
  ASSERT_EQ(report.process.exitCode, 0u);
  EXPECT_EQ(report["result"], "0");
  EXPECT_EQ(report["inside"].rfind("S-1-5-", 0), 0u) << report["inside"];
  EXPECT_EQ(report["inside"], report["user"]);
  EXPECT_EQ(report["after"], "none");
}

}  // namespace
}  // namespace orv::test
