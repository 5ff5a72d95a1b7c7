// Sequences of set, restore, clear and cleanup that must always give the user
// their own proxy settings back and never leave the loopback proxy behind.
// Each runs against the fake options alone and with the options mirrored into
// the Internet Settings values, as WinINet does on Windows.

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "kilna/kilna_exports.h"
#include "native/proxy/applied_proxy.h"
#include "tests/native/proxy/proxy_fixture.h"

namespace orv::proxy::test {
namespace {

class ProxySafetyTest : public ProxyTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ProxyTest::SetUp();
    fake_.mirrorToRegistry(GetParam());
  }

  // The values WinINet leaves for the loopback proxy on `server`.
  static RawSlots OwnRaw(const char16_t* server) {
    return {DwordValue(1), Sz(server), Sz(u"<local>"), RawValue{}};
  }

  void ExpectNoLoopbackLeft() {
    const ProxySnapshot now = Settings();
    EXPECT_EQ(now.options.proxyServer.find(u"127.0.0.1"), ProxyText::npos);
    ProxyText server;
    RawValueText(now.raw[kSlotProxyServer], server);
    EXPECT_EQ(server.find(u"127.0.0.1"), ProxyText::npos);
  }
};

int Restore() {
  int restored = -1;
  EXPECT_EQ(OrvRestoreUserProxy(&restored), 0u);
  return restored;
}

const ProxySnapshot& UsersPac() {
  static const ProxySnapshot pac = [] {
    ProxySnapshot s;
    s.options = {5, u"", u"*.corp;<local>", u"http://wpad.example/proxy.pac"};
    s.raw = {DwordValue(0), RawValue{}, Sz(u"*.corp;<local>"), Sz(u"http://wpad.example/proxy.pac")};
    return s;
  }();
  return pac;
}

TEST_P(ProxySafetyTest, ASecondSetAfterTheUserSwitchedToPacRestoresThePac) {
  SetSettings(UserProxyAndPac());
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  SetSettings(UsersPac());  // by hand, while our proxy is on
  ASSERT_EQ(OrvSetUserProxy(9090), 0u);
  EXPECT_EQ(fake_.options(), (ProxyOptions{3, u"127.0.0.1:9090", u"<local>"}));
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(Settings(), UsersPac());
}

TEST_P(ProxySafetyTest, TwoSetsInARowRestoreTheSettingsFromBeforeTheFirst) {
  SetSettings(UserProxyAndPac());
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  ASSERT_EQ(OrvSetUserProxy(9090), 0u);
  if (GetParam()) {
    EXPECT_EQ(ReadAllRaw(), OwnRaw(u"127.0.0.1:9090"));
  }
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(Settings(), UserProxyAndPac());
}

TEST_P(ProxySafetyTest, RestoreDecidesOnWhetherTrafficStillGoesThroughTheLoopback) {
  struct Row {
    const char* change;
    ProxyOptions changed;
    bool restores;
  };
  const Row rows[] = {
      {"bypass appended", {3, u"127.0.0.1:8080", u"<local>;*.other"}, true},
      {"direct bit dropped", {2, u"127.0.0.1:8080", u"<local>"}, true},
      {"auto-detect added", {11, u"127.0.0.1:8080", u"<local>"}, false},
      {"pac added", {7, u"127.0.0.1:8080", u"<local>", u"http://wpad.example/x.pac"}, false},
      {"server replaced", {3, u"proxy.example:3128", u"<local>"}, false},
      {"same host, other port", {3, u"127.0.0.1:8081", u"<local>"}, false},
      {"proxy switched off", {1, u"127.0.0.1:8080", u"<local>"}, false},
      {"pac instead", {5, u"127.0.0.1:8080", u"<local>", u"http://wpad.example/x.pac"}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.change);
    SetSettings(UserProxyAndPac());
    ASSERT_EQ(OrvSetUserProxy(8080), 0u);
    fake_.setOptions(row.changed);  // another program, leaving the values as they are
    const RawSlots rawBefore = ReadAllRaw();
    fake_.clearCalls();
    EXPECT_EQ(Restore(), 1);
    if (row.restores) {
      EXPECT_EQ(fake_.options(), UserProxyAndPac().options);
      if (GetParam()) {
        EXPECT_EQ(ReadAllRaw(), UserProxyAndPac().raw);
      }
    } else {
      EXPECT_EQ(fake_.setCount(), 0u);
      EXPECT_EQ(fake_.options(), row.changed);
      EXPECT_EQ(ReadAllRaw(), rawBefore);
    }
    EXPECT_EQ(Restore(), 0);  // the saved state is gone either way
  }
}

TEST_P(ProxySafetyTest, OurOwnLoopbackIsNoConflictAndRestoreBringsTheUsersProxyBack) {
  SetSettings(UserProxyAndPac());
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  if (!GetParam()) WriteAllRaw(OwnRaw(u"127.0.0.1:8080"));  // what the set leaves on Windows
  const ProxySnapshot whileSet = Settings();
  int conflict = -1;
  ASSERT_EQ(OrvReadEffectiveUserProxyConflict(&conflict), 0u);
  EXPECT_EQ(conflict, 0);
  int ticket = -1;
  int restoreResult = -1;
  EXPECT_EQ(OrvBeginUserProxyCleanup(&ticket, &restoreResult), 0u);
  EXPECT_EQ(ticket, 0);
  EXPECT_EQ(restoreResult, 0);
  EXPECT_EQ(Settings(), whileSet);
  EXPECT_EQ(OrvFinishUserProxyCleanup(ticket, 1), 0u);
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(fake_.options(), UserProxyAndPac().options);
  if (GetParam()) {
    EXPECT_EQ(Settings(), UserProxyAndPac());
    ExpectNoLoopbackLeft();
  }
}

// A setup script turned on around our loopback makes the settings the user's:
// a conflict like any other, and what the user ends with, not the old ones.
TEST_P(ProxySafetyTest, APacTurnedOnAroundOurLoopbackIsTheUsersNewChoice) {
  SetSettings(UserProxyAndPac());
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  const ProxyOptions withPac = {7, u"127.0.0.1:8080", u"<local>", u"http://other.example/x.pac"};
  fake_.setOptions(withPac);
  int conflict = -1;
  ASSERT_EQ(OrvReadEffectiveUserProxyConflict(&conflict), 0u);
  EXPECT_EQ(conflict, 2);  // the script; the manual proxy beside it is ours
  int ticket = -1;
  int restoreResult = -1;
  ASSERT_EQ(OrvBeginUserProxyCleanup(&ticket, &restoreResult), 0u);
  EXPECT_GT(ticket, 0);
  EXPECT_EQ(fake_.options().flags, 1u);
  ASSERT_EQ(OrvFinishUserProxyCleanup(ticket, 1), 0u);
  // The user's new script comes back with their own manual proxy, not our
  // loopback that was in its fields.
  const ProxyOptions theirs = {7, u"proxy.example:3128", u"*.corp;<local>", u"http://other.example/x.pac"};
  EXPECT_EQ(fake_.options(), theirs);
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(fake_.options(), theirs);  // the user's new script stays
  EXPECT_EQ(Restore(), 0);
}

TEST_P(ProxySafetyTest, BeginSetRestoreFinishBringsTheUsersProxyBack) {
  SetSettings(UserProxyAndPac());
  int ticket = -1;
  int restoreResult = -1;
  ASSERT_EQ(OrvBeginUserProxyCleanup(&ticket, &restoreResult), 0u);
  ASSERT_GT(ticket, 0);
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  EXPECT_EQ(Restore(), 1);
  ASSERT_EQ(OrvFinishUserProxyCleanup(ticket, 1), 0u);
  EXPECT_EQ(Settings(), UserProxyAndPac());
  ExpectNoLoopbackLeft();
}

TEST_P(ProxySafetyTest, AFinishThatFailsKeepsItsCopyAndTheNextFinishRestores) {
  enum class Failure { kRead, kOptionsWrite, kUserScope };
  struct Row {
    const char* failure;
    Failure kind;
    DWORD error;
  };
  const Row rows[] = {
      {"read", Failure::kRead, ERROR_INTERNET_INTERNAL_ERROR},
      {"options write", Failure::kOptionsWrite, ERROR_ACCESS_DENIED},
      {"user scope", Failure::kUserScope, ERROR_NO_TOKEN},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.failure);
    SetSettings(UserProxyAndPac());
    int ticket = -1;
    int restoreResult = -1;
    ASSERT_EQ(OrvBeginUserProxyCleanup(&ticket, &restoreResult), 0u);
    ASSERT_GT(ticket, 0);
    const ProxySnapshot cleaned = Settings();
    switch (row.kind) {
      case Failure::kRead:
        fake_.failCall(kQueryCall, row.error);
        break;
      case Failure::kOptionsWrite:
        fake_.failCall(INTERNET_OPTION_PER_CONNECTION_OPTION, row.error);
        break;
      case Failure::kUserScope:
        platform().userToken = NoUserToken;
        break;
    }
    EXPECT_EQ(OrvFinishUserProxyCleanup(ticket, 1), row.error);
    platform().userToken = TestUserToken;
    EXPECT_EQ(Settings(), cleaned);
    int clean = -1;
    EXPECT_EQ(OrvVerifyUserProxyCleanup(ticket, &clean), 0u);  // still open
    EXPECT_EQ(clean, 1);
    ASSERT_EQ(OrvFinishUserProxyCleanup(ticket, 1), 0u);
    EXPECT_EQ(Settings(), UserProxyAndPac());
    EXPECT_EQ(OrvFinishUserProxyCleanup(ticket, 1), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

TEST_P(ProxySafetyTest, AFinishStoppedAfterItsOptionsWriteIsCompletedByTheNextFinish) {
  SetSettings(UserProxyAndPac());
  int ticket = -1;
  int restoreResult = -1;
  ASSERT_EQ(OrvBeginUserProxyCleanup(&ticket, &restoreResult), 0u);
  ASSERT_GT(ticket, 0);
  fake_.failCall(kQueryCall, ERROR_INTERNET_INTERNAL_ERROR, 1);  // the read after the options write
  EXPECT_EQ(OrvFinishUserProxyCleanup(ticket, 1), static_cast<DWORD>(ERROR_INTERNET_INTERNAL_ERROR));
  EXPECT_EQ(fake_.options(), UserProxyAndPac().options);
  ASSERT_EQ(OrvFinishUserProxyCleanup(ticket, 1), 0u);
  EXPECT_EQ(Settings(), UserProxyAndPac());
}

TEST_P(ProxySafetyTest, ClearAfterASetKeepsTheUsersBypassList) {
  SetSettings(UserProxyAndPac());
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  const RawSlots rawWhileSet = ReadAllRaw();
  ASSERT_EQ(OrvClearUserProxy(), 0u);
  EXPECT_EQ(fake_.options(), (ProxyOptions{1, u"", u"*.corp;<local>", u""}));
  RawSlots expected = GetParam() ? RawSlots{DwordValue(0), RawValue{}, Sz(u"*.corp;<local>"), RawValue{}}
                                 : rawWhileSet;
  expected[kSlotProxyEnable] = DwordValue(0);
  expected[kSlotAutoConfigUrl] = RawValue{};
  EXPECT_EQ(ReadAllRaw(), expected);
  EXPECT_EQ(Restore(), 0);
  ExpectNoLoopbackLeft();
}

TEST_P(ProxySafetyTest, ClearKeepsTheUsersBypassListWhateverWasAddedAroundOurLoopback) {
  SetSettings(UserProxyAndPac());
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  fake_.setOptions(ProxyOptions{3, u"127.0.0.1:8080", u"<local>;*.theirs"});
  ASSERT_EQ(OrvClearUserProxy(), 0u);
  EXPECT_EQ(fake_.options(), (ProxyOptions{1, u"", u"*.corp;<local>", u""}));
  // Someone else's proxy is not ours: its bypass list stays.
  fake_.setOptions(ProxyOptions{3, u"proxy.other:80", u"<local>;*.theirs"});
  ASSERT_EQ(OrvClearUserProxy(), 0u);
  EXPECT_EQ(fake_.options(), (ProxyOptions{1, u"", u"<local>;*.theirs", u""}));
}

// The cleanup's copy is journaled: a kill while the cleanup is open loses
// nothing, whether the next process finds the settings as the cleanup left
// them, with a set made over them, or changed by the user since.
TEST_P(ProxySafetyTest, AKillDuringAnOpenCleanupLeavesTheNextProcessTheUsersSettings) {
  struct Row {
    const char* between;
    bool setOver;
    bool userChanges;
  };
  const Row rows[] = {{"nothing", false, false}, {"a set", true, false}, {"the user's own change", false, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.between);
    SetSettings(UserProxyAndPac());
    Start(2);
    int ticket = 0;
    int restoreResult = 0;
    ASSERT_EQ(As(2, [&] { return OrvBeginUserProxyCleanup(&ticket, &restoreResult); }), 0u);
    ASSERT_GT(ticket, 0);
    ASSERT_TRUE(JournalLeft()) << "the copy lives in memory only";
    if (row.setOver) {
      ASSERT_EQ(As(2, [] { return OrvSetUserProxy(8080); }), 0u);
    }
    if (row.userChanges) SetSettings(UsersPac());
    Kill(2);

    int conflict = -1;
    ASSERT_EQ(OrvReadEffectiveUserProxyConflict(&conflict), 0u);  // process 1 finds the journal
    if (row.setOver) {
      EXPECT_EQ(fake_.options(), AppliedOptions(8080));  // taken over, until its restore
      EXPECT_EQ(Restore(), 1);
    }
    EXPECT_EQ(Settings(), row.userChanges ? UsersPac() : UserProxyAndPac());
    EXPECT_FALSE(JournalLeft());
  }
}

INSTANTIATE_TEST_SUITE_P(Store, ProxySafetyTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "MirroredIntoTheRegistry" : "OptionsOnly");
                         });

}  // namespace
}  // namespace orv::proxy::test
