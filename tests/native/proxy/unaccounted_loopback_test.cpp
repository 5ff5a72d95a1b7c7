// A loopback proxy of ours that no journal accounts for any more (its journal
// damaged, or the box ticked again by hand after our restore) is nobody's
// choice: not a conflict, and never part of the settings a restore or a
// cleanup gives back. Everything else the user has around it stays.

#include <windows.h>

#include <gtest/gtest.h>

#include "kilna/kilna_exports.h"
#include "native/proxy/applied_proxy.h"
#include "tests/native/proxy/proxy_fixture.h"

namespace orv::proxy::test {
namespace {

class UnaccountedLoopbackTest : public ProxyTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ProxyTest::SetUp();
    fake_.mirrorToRegistry(GetParam());
  }

  void DamageJournal() {
    auto bytes = ReadJournalBytes();
    ASSERT_TRUE(bytes.has_value());
    (*bytes)[bytes->size() / 2] ^= 1;
    WriteJournalBytes(bytes);
  }

  void ExpectNoLoopbackLeft() {
    const ProxySnapshot now = Settings();
    EXPECT_EQ(now.options.proxyServer.find(u"127.0.0.1"), ProxyText::npos);
    ProxyText server;
    RawValueText(now.raw[kSlotProxyServer], server);
    EXPECT_EQ(server.find(u"127.0.0.1"), ProxyText::npos);
    EXPECT_FALSE(JournalLeft());
  }
};

TEST_P(UnaccountedLoopbackTest, IsNoConflictAndNoSetOrCleanupPutsItBack) {
  struct Row {
    const char* how;
    bool damaged;           // left by a set whose journal was then damaged
    ProxyOptions leftover;  // otherwise put in place by hand, with no journal
    ProxyOptions usersOwn;  // what the user keeps once it is gone
  };
  const Row rows[] = {
      {"journal damaged", true, {}, {1, u"", u"<local>", u""}},
      {"ticked again", false, {3, u"127.0.0.1:8080", u"<local>"}, {1, u"", u"<local>", u""}},
      {"beside automatic detection", false, {11, u"127.0.0.1:8080", u"<local>"}, {9, u"", u"<local>", u""}},
      {"beside a setup script", false, {7, u"127.0.0.1:9090", u"<local>", u"http://wpad.example/p.pac"},
       {5, u"", u"<local>", u"http://wpad.example/p.pac"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.how);
    WriteJournalBytes(std::nullopt);
    if (row.damaged) {
      SetSettings(ProxySnapshot{{1, u"", u"<local>", u""}, {DwordValue(0), RawValue{}, Sz(u"<local>"), RawValue{}}});
      ASSERT_EQ(OrvSetUserProxy(8080), 0u);
      DamageJournal();
    } else {
      const ProxyOptions& o = row.leftover;
      SetSettings(ProxySnapshot{o, {DwordValue(1), Sz(o.proxyServer), Sz(o.proxyBypass),
                                    o.autoConfigUrl.empty() ? RawValue{} : Sz(o.autoConfigUrl)}});
    }
    const std::uint32_t pac = fake_.options().flags & kProxyTypeAutoProxyUrl;
    int conflict = -1;
    ASSERT_EQ(OrvReadEffectiveUserProxyConflict(&conflict), 0u);
    EXPECT_EQ(conflict, pac != 0 ? 2 : 0);

    // A cleanup and its restore: the loopback is not among what comes back.
    int ticket = -1;
    int restoreResult = -1;
    ASSERT_EQ(OrvBeginUserProxyCleanup(&ticket, &restoreResult), 0u);
    EXPECT_GT(ticket, 0);  // turned off with the rest
    ASSERT_EQ(OrvFinishUserProxyCleanup(ticket, 1), 0u);
    EXPECT_EQ(fake_.options(), row.usersOwn);

    // A set on the same port and its restore, the way the app starts and stops.
    ASSERT_EQ(OrvSetUserProxy(8080), 0u);
    int restored = -1;
    ASSERT_EQ(OrvRestoreUserProxy(&restored), 0u);
    EXPECT_EQ(restored, 1);
    EXPECT_EQ(fake_.options(), row.usersOwn);
    ExpectNoLoopbackLeft();
    if (GetParam()) {
      EXPECT_FALSE(RawValueIsOn(ReadRaw(kSlotProxyEnable)));
    }
  }
}

// The same text as the user's own proxy elsewhere is not ours: another port
// form, another bypass list, another host.
TEST_P(UnaccountedLoopbackTest, AnotherLoopbackProxyOfTheUsersStaysTheirs) {
  for (const ProxyOptions& theirs : {ProxyOptions{3, u"127.0.0.1:8888", u"<-loopback>"},
                                     ProxyOptions{3, u"127.0.0.1:08080", u"<local>"},
                                     ProxyOptions{3, u"127.0.0.1:70000", u"<local>"},
                                     ProxyOptions{3, u"localhost:8080", u"<local>"}}) {
    SCOPED_TRACE(::testing::PrintToString(theirs));
    WriteJournalBytes(std::nullopt);
    fake_.setOptions(theirs);
    int conflict = -1;
    ASSERT_EQ(OrvReadEffectiveUserProxyConflict(&conflict), 0u);
    EXPECT_EQ(conflict, 1);
    ASSERT_EQ(OrvSetUserProxy(8080), 0u);
    int restored = -1;
    ASSERT_EQ(OrvRestoreUserProxy(&restored), 0u);
    EXPECT_EQ(fake_.options(), theirs);
  }
}

INSTANTIATE_TEST_SUITE_P(Store, UnaccountedLoopbackTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "MirroredIntoTheRegistry" : "OptionsOnly");
                         });

}  // namespace
}  // namespace orv::proxy::test
