// The ticketed cleanup of the user's own proxy and the conflict check.

#include <windows.h>

#include <gtest/gtest.h>

#include "native/proxy/cleanup_protocol.h"
#include "kilna/kilna_exports.h"
#include "tests/native/proxy/proxy_fixture.h"

namespace orv::proxy::test {
namespace {

using CleanupTest = ProxyTest;

struct Begun {
  DWORD result;
  int ticket;
  int restoreResult;
};

Begun Begin() {
  Begun b{0, -1, -1};
  b.result = OrvBeginUserProxyCleanup(&b.ticket, &b.restoreResult);
  return b;
}

int Verify(int ticket, DWORD expected = 0) {
  int clean = -1;
  EXPECT_EQ(OrvVerifyUserProxyCleanup(ticket, &clean), expected);
  return clean;
}

TEST_F(CleanupTest, ConflictReportsAManualProxyAndAnAutoConfigUrlAsBits) {
  struct Row {
    std::uint32_t flags;
    int conflict;
  };
  for (const Row row : {Row{1, 0}, Row{3, 1}, Row{5, 2}, Row{7, 3}, Row{6, 3}, Row{9, 0}, Row{11, 1}}) {
    fake_.setOptions(ProxyOptions{row.flags});
    int conflict = -1;
    EXPECT_EQ(OrvReadEffectiveUserProxyConflict(&conflict), 0u);
    EXPECT_EQ(conflict, row.conflict) << "flags " << row.flags;
  }
  EXPECT_EQ(OrvReadEffectiveUserProxyConflict(nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  fake_.failCall(kQueryCall, ERROR_INTERNET_INTERNAL_ERROR);
  int conflict = -1;
  EXPECT_EQ(OrvReadEffectiveUserProxyConflict(&conflict), static_cast<DWORD>(ERROR_INTERNET_INTERNAL_ERROR));
  EXPECT_EQ(conflict, -1);
}

TEST_F(CleanupTest, BeginOnCleanSettingsIssuesNoTicketAndFinishZeroDoesNothing) {
  fake_.setOptions(ProxyOptions{1, u"", u"<local>"});
  WriteRaw(kSlotProxyEnable, DwordValue(0));
  WriteRaw(kSlotAutoConfigUrl, Sz(u" \t"));
  const ProxySnapshot before = Settings();
  const Begun b = Begin();
  EXPECT_EQ(b.result, 0u);
  EXPECT_EQ(b.ticket, 0);
  EXPECT_EQ(b.restoreResult, 0);
  EXPECT_EQ(Verify(1, ERROR_INVALID_PARAMETER), -1);  // no cleanup was opened
  EXPECT_EQ(fake_.setCount(), 0u);
  EXPECT_EQ(Settings(), before);
}

TEST_F(CleanupTest, ACleanedProxyComesBackByteForByte) {
  ProxySnapshot user = UserProxyAndPac();
  user.raw[kSlotProxyEnable] = TextValue(kRegExpandSz, u" 1 ");  // restored as it was, not as a DWORD
  SetSettings(user);
  const Begun b = Begin();
  ASSERT_EQ(b.result, 0u);
  ASSERT_GT(b.ticket, 0);
  EXPECT_EQ(b.restoreResult, 0);
  ProxySnapshot cleaned = CleanedProxyAndPac();
  EXPECT_EQ(Settings(), cleaned);

  EXPECT_EQ(Verify(b.ticket), 1);
  EXPECT_EQ(Verify(0), 1);
  ASSERT_EQ(OrvFinishUserProxyCleanup(b.ticket, 1), 0u);
  EXPECT_EQ(Settings(), user);

  // The ticket is closed.
  EXPECT_EQ(Verify(b.ticket, ERROR_INVALID_PARAMETER), -1);
  EXPECT_EQ(OrvFinishUserProxyCleanup(b.ticket, 1), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(CleanupTest, RawValuesOnWhileTheOptionsAreOffAreCleanedAndRestoredToo) {
  ProxySnapshot user;
  user.options = ProxyOptions{1, u"", u"<local>"};
  user.raw = {Sz(u"1"), Sz(u"old.example:80"), RawValue{}, Sz(u"http://wpad/x.pac")};
  SetSettings(user);
  const Begun b = Begin();
  ASSERT_EQ(b.result, 0u);
  ASSERT_GT(b.ticket, 0);
  EXPECT_EQ(fake_.options(), user.options);
  EXPECT_EQ(ReadRaw(kSlotProxyEnable), DwordValue(0));
  EXPECT_FALSE(ReadRaw(kSlotAutoConfigUrl).present);
  ASSERT_EQ(OrvFinishUserProxyCleanup(b.ticket, 1), 0u);
  EXPECT_EQ(Settings(), user);
}

TEST_F(CleanupTest, AProxyReEnabledByHandBeforeFinishIsLeftInPlace) {
  SetSettings(UserProxyAndPac());
  const Begun b = Begin();
  ASSERT_GT(b.ticket, 0);
  const ProxyOptions byHand = ProxyOptions{3, u"new.example:8080", u"*.corp;<local>"};
  fake_.setOptions(byHand);
  WriteRaw(kSlotProxyEnable, DwordValue(1));
  EXPECT_EQ(Verify(b.ticket), 0);
  fake_.clearCalls();
  EXPECT_EQ(OrvFinishUserProxyCleanup(b.ticket, 1), 0u);
  EXPECT_EQ(fake_.setCount(), 0u);
  EXPECT_EQ(fake_.options(), byHand);
  EXPECT_EQ(ReadRaw(kSlotProxyEnable), DwordValue(1));
  EXPECT_FALSE(ReadRaw(kSlotAutoConfigUrl).present);
}

TEST_F(CleanupTest, WhileOpenASecondBeginIsBusyAndTicketsAreChecked) {
  SetSettings(UserProxyAndPac());
  const Begun b = Begin();
  ASSERT_GT(b.ticket, 0);
  fake_.clearCalls();
  platform().beforeCompareRead = [](std::size_t) { ADD_FAILURE() << "a busy begin touched the registry"; };
  const Begun second = Begin();
  EXPECT_EQ(second.result, static_cast<DWORD>(ERROR_BUSY));
  EXPECT_EQ(second.ticket, 0);
  EXPECT_EQ(second.restoreResult, 0);
  EXPECT_TRUE(fake_.calls().empty());
  platform().beforeCompareRead = {};

  EXPECT_EQ(Verify(b.ticket + 1, ERROR_INVALID_PARAMETER), -1);
  EXPECT_EQ(OrvFinishUserProxyCleanup(b.ticket + 1, 1), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // Ticket 0 is nobody's: it neither closes the open cleanup nor restores it.
  fake_.clearCalls();
  EXPECT_EQ(OrvFinishUserProxyCleanup(0, 1), 0u);
  EXPECT_EQ(fake_.setCount(), 0u);
  EXPECT_EQ(Settings(), CleanedProxyAndPac());
  EXPECT_EQ(Verify(b.ticket), 1);  // still open

  // Finish without restore closes the ticket and writes nothing.
  EXPECT_EQ(OrvFinishUserProxyCleanup(b.ticket, 0), 0u);
  EXPECT_EQ(fake_.setCount(), 0u);
  EXPECT_EQ(Settings(), CleanedProxyAndPac());
  EXPECT_EQ(Verify(b.ticket, ERROR_INVALID_PARAMETER), -1);

  // The next cleanup gets the next ticket.
  SetSettings(UserProxyAndPac());
  const Begun next = Begin();
  EXPECT_EQ(next.ticket, b.ticket + 1);
  EXPECT_EQ(OrvFinishUserProxyCleanup(next.ticket, 1), 0u);
  EXPECT_EQ(Settings(), UserProxyAndPac());
}

TEST_F(CleanupTest, OutPointersAreRequired) {
  int value = 7;
  EXPECT_EQ(OrvBeginUserProxyCleanup(nullptr, &value), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(value, 7);
  EXPECT_EQ(OrvBeginUserProxyCleanup(&value, nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(value, 7);
  EXPECT_EQ(OrvVerifyUserProxyCleanup(0, nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(fake_.calls().empty());
}

TEST_F(CleanupTest, TicketsCountUpAndSkipZeroOnWrapAround) {
  CleanupState state;
  state.ticketCounter = 0xFFFFFFFEu;
  std::uint32_t issued[3] = {};
  for (std::uint32_t& ticket : issued) {
    SetSettings(UserProxyAndPac());
    int outTicket = 0;
    int restoreResult = 0;
    ProxyJournal none;
    ASSERT_EQ(BeginCleanup(store(), none, {1, 1}, state, outTicket, restoreResult), 0u);
    ticket = static_cast<std::uint32_t>(outTicket);
    EXPECT_EQ(state.openTicket, ticket);
    ASSERT_EQ(FinishCleanup(store(), none, {1, 1}, state, ticket, true), 0u);
    EXPECT_EQ(state.openTicket, 0u);
  }
  EXPECT_EQ(issued[0], 0xFFFFFFFFu);
  EXPECT_EQ(issued[1], 1u);
  EXPECT_EQ(issued[2], 2u);
  EXPECT_EQ(Settings(), UserProxyAndPac());
}

TEST_F(CleanupTest, ABeginWhoseWriteFailsRollsBackAndOpensNoTicket) {
  SetSettings(UserProxyAndPac());
  fake_.failCall(INTERNET_OPTION_PER_CONNECTION_OPTION, ERROR_ACCESS_DENIED);
  const Begun b = Begin();
  EXPECT_EQ(b.result, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(b.ticket, 0);
  EXPECT_EQ(b.restoreResult, 0);
  EXPECT_EQ(Settings(), UserProxyAndPac());
  EXPECT_EQ(Verify(1, ERROR_INVALID_PARAMETER), -1);
}

TEST_F(CleanupTest, AWriteThatDoesNotTakeGives13AndTheRawValuesAreRolledBack) {
  SetSettings(UserProxyAndPac());
  fake_.ignoreWrites(true);
  const Begun b = Begin();
  EXPECT_EQ(b.result, static_cast<DWORD>(ERROR_INVALID_DATA));
  EXPECT_EQ(b.ticket, 0);
  EXPECT_EQ(b.restoreResult, 0);
  EXPECT_EQ(Settings(), UserProxyAndPac());
}

TEST_F(CleanupTest, AnotherWriterDuringTheCleanupGives1237AndKeepsItsValue) {
  SetSettings(UserProxyAndPac());
  const RawValue theirs = Sz(u"http://other.example/theirs.pac");
  platform().beforeCompareRead = [&](std::size_t slot) {
    if (slot == kSlotAutoConfigUrl) WriteRaw(kSlotAutoConfigUrl, theirs);
  };
  const Begun b = Begin();
  EXPECT_EQ(b.result, static_cast<DWORD>(ERROR_RETRY));
  EXPECT_EQ(b.ticket, 0);
  // Their value is neither the user's nor ours, so the rollback refuses too.
  EXPECT_EQ(b.restoreResult, static_cast<int>(ERROR_RETRY));
  EXPECT_EQ(ReadRaw(kSlotAutoConfigUrl), theirs);
  platform().beforeCompareRead = {};
  EXPECT_EQ(Verify(1, ERROR_INVALID_PARAMETER), -1);
}

TEST_F(CleanupTest, ARestoreOverAChangedRawValueIsRefused) {
  SetSettings(UserProxyAndPac());
  const Begun b = Begin();
  ASSERT_GT(b.ticket, 0);
  // Between the re-read and the write back, someone sets their own PAC.
  const RawValue theirs = Sz(u"http://other.example/theirs.pac");
  platform().beforeCompareRead = [&](std::size_t slot) {
    if (slot == kSlotProxyEnable) WriteRaw(kSlotAutoConfigUrl, theirs);
  };
  EXPECT_EQ(OrvFinishUserProxyCleanup(b.ticket, 1), static_cast<DWORD>(ERROR_RETRY));
  EXPECT_EQ(ReadRaw(kSlotAutoConfigUrl), theirs);
  EXPECT_EQ(Verify(b.ticket, ERROR_INVALID_PARAMETER), -1);
}

}  // namespace
}  // namespace orv::proxy::test
