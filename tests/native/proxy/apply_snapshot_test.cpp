// Writing a snapshot back only over the settings it expects, and refusing
// with 1237 or 13 where the settings are not what it expects.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "native/proxy/cleanup_protocol.h"
#include "tests/native/proxy/proxy_fixture.h"

namespace orv::proxy::test {
namespace {

using ApplySnapshotTest = ProxyTest;

TEST_F(ApplySnapshotTest, OptionsThatDoNotReadBackAsTheTargetAreRefusedBeforeAnyRawWrite) {
  struct Row {
    const char* why;
    bool ignoreWrites;
    DWORD writeError;
    DWORD expected;
  };
  for (const Row row : {Row{"write ignored", true, 0, ERROR_RETRY},
                        Row{"write failed", false, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED}}) {
    SCOPED_TRACE(row.why);
    SetSettings(CleanedProxyAndPac());
    fake_.ignoreWrites(row.ignoreWrites);
    if (row.writeError != 0) fake_.failCall(INTERNET_OPTION_PER_CONNECTION_OPTION, row.writeError);
    EXPECT_EQ(store().ApplySnapshot(UserProxyAndPac(), CleanedProxyAndPac()), row.expected);
    EXPECT_EQ(Settings(), CleanedProxyAndPac());
    fake_.ignoreWrites(false);
  }
}

TEST_F(ApplySnapshotTest, ARawValueThatIsNeitherExpectedNorTheTargetIsRefusedUnlessItAgrees) {
  struct Row {
    const char* what;
    std::size_t slot;
    RawValue value;
    DWORD expected;
  };
  const Row rows[] = {
      {"someone else's bypass", kSlotProxyOverride, Sz(u"*.elsewhere"), ERROR_RETRY},
      {"a PAC of theirs", kSlotAutoConfigUrl, Sz(u"http://other.example/x.pac"), ERROR_RETRY},
      {"the target's server as REG_EXPAND_SZ", kSlotProxyServer,
       TextValue(kRegExpandSz, UserProxyAndPac().options.proxyServer), ERROR_SUCCESS},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SetSettings(CleanedProxyAndPac());
    WriteRaw(row.slot, row.value);
    const RawSlots rawBefore = ReadAllRaw();
    EXPECT_EQ(store().ApplySnapshot(UserProxyAndPac(), CleanedProxyAndPac()), row.expected);
    if (row.expected == ERROR_SUCCESS) {
      EXPECT_EQ(Settings(), UserProxyAndPac());
    } else {
      EXPECT_EQ(ReadAllRaw(), rawBefore);
    }
  }
}

TEST_F(ApplySnapshotTest, SettingsThatDoNotReadBackAsTheTargetAfterTheWritesGive13) {
  SetSettings(CleanedProxyAndPac());
  const RawValue theirs = Sz(u"*.theirs");
  // The bypass already matches, so only a reader after the writes can see this.
  platform().beforeCompareRead = [&](std::size_t slot) {
    if (slot == kSlotProxyEnable) WriteRaw(kSlotProxyOverride, theirs);
  };
  EXPECT_EQ(store().ApplySnapshot(UserProxyAndPac(), CleanedProxyAndPac()), static_cast<DWORD>(ERROR_INVALID_DATA));
  EXPECT_EQ(ReadRaw(kSlotProxyOverride), theirs);
  EXPECT_EQ(ReadRaw(kSlotProxyEnable), DwordValue(1));
}

std::atomic<int> g_tokensLeft{0};

// The user's token for a set number of uses, then none: the user logging off
// half-way through.
HANDLE TokenForAWhile() noexcept { return g_tokensLeft.fetch_sub(1) > 0 ? TestUserToken() : nullptr; }

TEST_F(ApplySnapshotTest, TheRefreshAfterAFailedRefreshNeedsTheUserAndGives1008Without) {
  platform().userToken = NoUserToken;
  fake_.clearCalls();
  EXPECT_EQ(store().Refresh(), static_cast<DWORD>(ERROR_NO_TOKEN));
  EXPECT_TRUE(fake_.calls().empty());

  // The options take but their refresh fails; the raw values already agree,
  // so the retried refresh is the only call left that needs the user.
  ProxySnapshot expected = UserProxyAndPac();
  expected.options = CleanedProxyAndPac().options;
  SetSettings(expected);
  fake_.failCall(INTERNET_OPTION_REFRESH, ERROR_INTERNET_INTERNAL_ERROR);
  g_tokensLeft = 3;  // the options write, then the snapshot read (options and values)
  platform().userToken = TokenForAWhile;
  EXPECT_EQ(store().ApplySnapshot(UserProxyAndPac(), expected), static_cast<DWORD>(ERROR_NO_TOKEN));
  EXPECT_EQ(fake_.options(), UserProxyAndPac().options);

  // With the user still there, the retried refresh completes the restore.
  SetSettings(expected);
  fake_.failCall(INTERNET_OPTION_REFRESH, ERROR_INTERNET_INTERNAL_ERROR);
  platform().userToken = TestUserToken;
  fake_.clearCalls();
  EXPECT_EQ(store().ApplySnapshot(UserProxyAndPac(), expected), 0u);
  int refreshes = 0;
  for (const OptionCall& call : fake_.calls()) refreshes += call.option == INTERNET_OPTION_REFRESH ? 1 : 0;
  EXPECT_EQ(refreshes, 2);  // the failed one and its retry
  EXPECT_EQ(Settings(), UserProxyAndPac());
}

}  // namespace
}  // namespace orv::proxy::test
