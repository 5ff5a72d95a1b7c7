// Setting, clearing and restoring the user's proxy through the exports.

#include <windows.h>

#include <gtest/gtest.h>

#include "kilna/kilna_exports.h"
#include "tests/native/proxy/proxy_fixture.h"

namespace orv::proxy::test {
namespace {

using UserProxyTest = ProxyTest;

const ProxyOptions kUsersOwn = ProxyOptions{1 | kProxyTypeAutoDetect, u"", u"*.corp;<local>"};

int Restore() {
  int restored = -1;
  EXPECT_EQ(OrvRestoreUserProxy(&restored), 0u);
  return restored;
}

TEST_F(UserProxyTest, PortsOutsideTheRangeAreRefusedBeforeAnythingIsRead) {
  EXPECT_EQ(OrvSetUserProxy(0), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(OrvSetUserProxy(65536), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(OrvSetUserProxy(0xFFFFFFFFu), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(fake_.calls().empty());
  EXPECT_EQ(Restore(), 0);

  ASSERT_EQ(OrvSetUserProxy(1), 0u);
  EXPECT_EQ(fake_.options(), (ProxyOptions{3, u"127.0.0.1:1", u"<local>"}));
  ASSERT_EQ(OrvSetUserProxy(65535), 0u);
  EXPECT_EQ(fake_.options(), (ProxyOptions{3, u"127.0.0.1:65535", u"<local>"}));
}

TEST_F(UserProxyTest, RestoreAfterTwoSetsBringsBackTheSettingsFromBeforeTheFirst) {
  fake_.setOptions(kUsersOwn);
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  ASSERT_EQ(OrvSetUserProxy(9090), 0u);
  EXPECT_EQ(fake_.options(), (ProxyOptions{3, u"127.0.0.1:9090", u"<local>"}));
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(fake_.options(), kUsersOwn);
  // Restored once: a second restore has nothing left to do.
  fake_.clearCalls();
  EXPECT_EQ(Restore(), 0);
  EXPECT_TRUE(fake_.calls().empty());
}

TEST_F(UserProxyTest, RestoreGivesBackTheUsersAutoDetectChoiceAfterWinInetClearedIt) {
  fake_.setOptions(kUsersOwn);
  fake_.failAutoDetection();
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(fake_.options(), kUsersOwn);
  EXPECT_EQ(fake_.flagsInEffect(), kUsersOwn.flags);
}

TEST_F(UserProxyTest, RestoreLeavesSettingsTheUserChangedSinceTheSet) {
  fake_.setOptions(kUsersOwn);
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  const ProxyOptions pac = ProxyOptions{5, u"", u"<local>", u"http://wpad.example/proxy.pac"};
  fake_.setOptions(pac);
  fake_.clearCalls();
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(fake_.setCount(), 0u);
  EXPECT_EQ(fake_.options(), pac);
  EXPECT_EQ(Restore(), 0);
}

TEST_F(UserProxyTest, RestoreWithoutASetReturns0AndLeavesOutRestoredAt0) {
  EXPECT_EQ(Restore(), 0);
  EXPECT_EQ(OrvRestoreUserProxy(nullptr), 0u);
  EXPECT_TRUE(fake_.calls().empty());
}

TEST_F(UserProxyTest, AFailedRestoreKeepsTheSavedStateForAnotherTry) {
  fake_.setOptions(kUsersOwn);
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  fake_.failCall(kQueryCall, ERROR_INTERNET_INTERNAL_ERROR);
  int restored = -1;
  EXPECT_EQ(OrvRestoreUserProxy(&restored), static_cast<DWORD>(ERROR_INTERNET_INTERNAL_ERROR));
  EXPECT_EQ(restored, 0);
  fake_.failCall(INTERNET_OPTION_PER_CONNECTION_OPTION, ERROR_ACCESS_DENIED);
  EXPECT_EQ(OrvRestoreUserProxy(&restored), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(restored, 0);
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(fake_.options(), kUsersOwn);
}

TEST_F(UserProxyTest, AFailedSetIsRolledBackAndForgotten) {
  fake_.setOptions(kUsersOwn);
  fake_.failCall(INTERNET_OPTION_REFRESH, ERROR_INTERNET_INTERNAL_ERROR);
  EXPECT_EQ(OrvSetUserProxy(8080), static_cast<DWORD>(ERROR_INTERNET_INTERNAL_ERROR));
  EXPECT_EQ(fake_.options(), kUsersOwn);
  EXPECT_EQ(Restore(), 0);  // the rollback worked, so nothing was saved
}

TEST_F(UserProxyTest, ASetWhoseRollbackFailsKeepsTheUsersOptionsForRestore) {
  fake_.setOptions(kUsersOwn);
  fake_.failCall(INTERNET_OPTION_REFRESH, ERROR_INTERNET_INTERNAL_ERROR);
  fake_.failCall(INTERNET_OPTION_PER_CONNECTION_OPTION, ERROR_ACCESS_DENIED, 1);
  EXPECT_EQ(OrvSetUserProxy(8080), static_cast<DWORD>(ERROR_INTERNET_INTERNAL_ERROR));
  EXPECT_EQ(fake_.options(), (ProxyOptions{3, u"127.0.0.1:8080", u"<local>"}));
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(fake_.options(), kUsersOwn);
}

TEST_F(UserProxyTest, AFailedSecondSetKeepsTheFirstSetsSavedState) {
  fake_.setOptions(kUsersOwn);
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  fake_.failCall(INTERNET_OPTION_REFRESH, ERROR_INTERNET_INTERNAL_ERROR);
  EXPECT_EQ(OrvSetUserProxy(9090), static_cast<DWORD>(ERROR_INTERNET_INTERNAL_ERROR));
  EXPECT_EQ(fake_.options(), (ProxyOptions{3, u"127.0.0.1:8080", u"<local>"}));
  EXPECT_EQ(Restore(), 1);  // still recognised as ours: 8080 is the applied server again
  EXPECT_EQ(fake_.options(), kUsersOwn);
}

TEST_F(UserProxyTest, ClearSwitchesToDirectKeepsTheBypassAndTurnsTheRawValuesOff) {
  const ProxySnapshot user = UserProxyAndPac();
  SetSettings(user);
  ASSERT_EQ(OrvClearUserProxy(), 0u);
  EXPECT_EQ(fake_.options(), (ProxyOptions{1, u"", u"*.corp;<local>", u""}));
  EXPECT_EQ(ReadRaw(kSlotProxyEnable), DwordValue(0));
  EXPECT_FALSE(ReadRaw(kSlotAutoConfigUrl).present);
  EXPECT_EQ(ReadRaw(kSlotProxyServer), user.raw[kSlotProxyServer]);
  EXPECT_EQ(ReadRaw(kSlotProxyOverride), user.raw[kSlotProxyOverride]);
  EXPECT_EQ(fake_.calls().back().option, static_cast<DWORD>(INTERNET_OPTION_REFRESH));

  // Already clear, with no auto-config URL left to delete: still success.
  EXPECT_EQ(OrvClearUserProxy(), 0u);
}

TEST_F(UserProxyTest, ClearForgetsASetSoRestoreHasNothingToDo) {
  fake_.setOptions(kUsersOwn);
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  ASSERT_EQ(OrvClearUserProxy(), 0u);
  EXPECT_EQ(Restore(), 0);
  EXPECT_EQ(fake_.options().flags, 1u);
}

TEST_F(UserProxyTest, ClearWithoutAnInternetSettingsKeyStillSwitchesToDirect) {
  fake_.setOptions(ProxyOptions{3, u"p:1", u"<local>"});
  DeleteInternetSettingsKey();
  ASSERT_EQ(OrvClearUserProxy(), 0u);
  EXPECT_EQ(fake_.options(), (ProxyOptions{1, u"", u"<local>"}));
  EXPECT_FALSE(ReadRaw(kSlotProxyEnable).present);
}

TEST_F(UserProxyTest, ClearReportsAFailedOptionsWriteAndKeepsTheSavedState) {
  fake_.setOptions(kUsersOwn);
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  fake_.failCall(INTERNET_OPTION_PER_CONNECTION_OPTION, ERROR_ACCESS_DENIED);
  EXPECT_EQ(OrvClearUserProxy(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Restore(), 1);
  EXPECT_EQ(fake_.options(), kUsersOwn);
}

}  // namespace
}  // namespace orv::proxy::test
