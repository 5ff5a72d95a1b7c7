// Raw proxy values as the system reads them, and the rules of the cleanup.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "native/proxy/applied_proxy.h"
#include "native/proxy/proxy_journal.h"
#include "native/proxy/cleanup_rules.h"
#include "native/proxy/proxy_values.h"

namespace orv::proxy {
namespace {

RawValue Bytes(std::uint32_t type, std::vector<std::uint8_t> data) {
  RawValue value;
  value.present = true;
  value.type = type;
  value.data = std::move(data);
  return value;
}

RawValue Sz(const ProxyText& text) { return TextValue(kRegSz, text); }

struct OnCase {
  const char* name;
  RawValue value;
  bool on;
};

TEST(RawValueIsOn, ReadsProxyEnableTheWayTheSystemDoes) {
  const OnCase cases[] = {
      {"absent", RawValue{}, false},
      {"dword 0", DwordValue(0), false},
      {"dword 1", DwordValue(1), true},
      {"dword 2", DwordValue(2), true},
      {"dword of 3 bytes, zero", Bytes(kRegDword, {0, 0, 0}), true},
      {"qword 0", Bytes(kRegQword, {0, 0, 0, 0, 0, 0, 0, 0}), false},
      {"qword high byte", Bytes(kRegQword, {0, 0, 0, 0, 0, 0, 0, 1}), true},
      {"qword of 4 bytes, zero", Bytes(kRegQword, {0, 0, 0, 0}), true},
      {"text ' 00 '", Sz(u" 00 "), false},
      {"text '0'", Sz(u"0"), false},
      {"text '-0'", Sz(u"-0"), false},
      {"text '+000\\t'", Sz(u"+000\t"), false},
      {"text '1'", Sz(u"1"), true},
      {"text '-'", Sz(u"-"), true},
      {"text '+'", Sz(u"+"), true},
      {"text '--0'", Sz(u"--0"), true},
      {"text '0 0'", Sz(u"0 0"), true},
      {"text 'off'", Sz(u"off"), true},
      {"empty text", Sz(u""), false},
      {"blank text", Sz(u" \t\r\n"), false},
      {"text stops at its NUL", Bytes(kRegSz, {'0', 0, 0, 0, '1', 0}), false},
      {"expand text '1'", TextValue(kRegExpandSz, u"1"), true},
      {"odd-length text", Bytes(kRegSz, {'0', 0, 0}), true},
      {"empty data as text", Bytes(kRegSz, {}), false},
      {"binary zero", Bytes(kRegBinary, {0, 0, 0, 0}), true},
      {"multi-string '0'", Bytes(kRegMultiSz, {'0', 0, 0, 0, 0, 0}), true},
  };
  for (const auto& c : cases) EXPECT_EQ(RawValueIsOn(c.value), c.on) << c.name;
}

TEST(RawValueIsNonBlank, OnlyBlankTextAndAbsenceAreBlank) {
  EXPECT_FALSE(RawValueIsNonBlank(RawValue{}));
  EXPECT_FALSE(RawValueIsNonBlank(Sz(u"")));
  EXPECT_FALSE(RawValueIsNonBlank(Sz(u" \t\r\n ")));
  EXPECT_FALSE(RawValueIsNonBlank(Bytes(kRegExpandSz, {' ', 0, 0, 0, 'x', 0})));
  EXPECT_TRUE(RawValueIsNonBlank(Sz(u" http://wpad/proxy.pac ")));
  EXPECT_TRUE(RawValueIsNonBlank(Sz(u"\u00a0")));  // only the four ASCII blanks count
  EXPECT_TRUE(RawValueIsNonBlank(Bytes(kRegSz, {' ', 0, ' '})));
  EXPECT_TRUE(RawValueIsNonBlank(Bytes(kRegBinary, {})));
  EXPECT_TRUE(RawValueIsNonBlank(DwordValue(0)));
}

TEST(RawValue, EqualityLooksAtPresenceTypeAndEveryByte) {
  RawValue absentWithLeftovers = Bytes(kRegSz, {1, 2});
  absentWithLeftovers.present = false;
  EXPECT_EQ(absentWithLeftovers, RawValue{});
  EXPECT_EQ(Sz(u"a"), Sz(u"a"));
  EXPECT_NE(Sz(u"a"), TextValue(kRegExpandSz, u"a"));
  EXPECT_NE(Sz(u"a"), Bytes(kRegSz, {'a', 0}));  // same text, no terminator
  EXPECT_NE(DwordValue(0), RawValue{});
  EXPECT_EQ(DwordValue(0x01020304).data, (std::vector<std::uint8_t>{4, 3, 2, 1}));
}

TEST(RawConsistentWithOptions, ProxyEnableMustBeTheExactDwordOfTheProxyBit) {
  EXPECT_TRUE(RawConsistentWithOptions(kSlotProxyEnable, RawValue{}, (ProxyOptions{1})));
  EXPECT_FALSE(RawConsistentWithOptions(kSlotProxyEnable, RawValue{}, (ProxyOptions{3})));
  EXPECT_TRUE(RawConsistentWithOptions(kSlotProxyEnable, DwordValue(1), (ProxyOptions{3})));
  EXPECT_TRUE(RawConsistentWithOptions(kSlotProxyEnable, DwordValue(0), (ProxyOptions{5})));
  EXPECT_FALSE(RawConsistentWithOptions(kSlotProxyEnable, DwordValue(2), (ProxyOptions{3})));
  EXPECT_FALSE(RawConsistentWithOptions(kSlotProxyEnable, Sz(u"1"), (ProxyOptions{3})));
}

TEST(RawConsistentWithOptions, TextSlotsMustHoldTheOptionTextExactly) {
  const ProxyOptions o = ProxyOptions{3, u"p:1", u"<local>", u""};
  EXPECT_TRUE(RawConsistentWithOptions(kSlotProxyServer, Sz(u"p:1"), o));
  EXPECT_TRUE(RawConsistentWithOptions(kSlotProxyServer, Bytes(kRegSz, {'p', 0, ':', 0, '1', 0, 0, 0, 'z', 0}), o));
  EXPECT_TRUE(RawConsistentWithOptions(kSlotProxyOverride, TextValue(kRegExpandSz, u"<local>"), o));
  EXPECT_FALSE(RawConsistentWithOptions(kSlotProxyOverride, Sz(u"<LOCAL>"), o));
  EXPECT_FALSE(RawConsistentWithOptions(kSlotProxyServer, Bytes(kRegBinary, {'p', 0}), o));
  EXPECT_FALSE(RawConsistentWithOptions(kSlotProxyServer, RawValue{}, o));
  EXPECT_TRUE(RawConsistentWithOptions(kSlotAutoConfigUrl, RawValue{}, o));
  EXPECT_TRUE(RawConsistentWithOptions(kSlotAutoConfigUrl, Sz(u""), o));
  EXPECT_FALSE(RawConsistentWithOptions(kSlotAutoConfigUrl, Sz(u" "), o));
}

ProxySnapshot UserManualProxy() {
  ProxySnapshot s;
  s.options = ProxyOptions{3, u"proxy.example:3128", u"*.corp;<local>"};
  s.raw = {DwordValue(1), Sz(u"proxy.example:3128"), Sz(u"*.corp;<local>"), Sz(u"http://wpad/p.pac")};
  return s;
}

ProxyOptions CleanedOptions() { return ProxyOptions{1, u"", u"*.corp;<local>"}; }

TEST(IsClean, NeedsOptionsAndRawValuesOff) {
  ProxySnapshot s;
  EXPECT_TRUE(IsClean(s));
  s.options.flags = 1 | kProxyTypeAutoDetect;
  EXPECT_TRUE(IsClean(s));
  s.options.flags = 5;
  EXPECT_FALSE(IsClean(s));
  s.options.flags = 1;
  s.raw[kSlotProxyEnable] = Sz(u"1");
  EXPECT_FALSE(IsClean(s));
  s.raw[kSlotProxyEnable] = DwordValue(0);
  s.raw[kSlotAutoConfigUrl] = Sz(u"  ");
  EXPECT_TRUE(IsClean(s));
  s.raw[kSlotAutoConfigUrl] = Sz(u"http://x/");
  EXPECT_FALSE(IsClean(s));
  s.raw[kSlotAutoConfigUrl] = RawValue{};
  s.raw[kSlotProxyServer] = Sz(u"left:1");  // a server with the proxy off is clean
  EXPECT_TRUE(IsClean(s));
}

TEST(IsCompatible, AcceptsThePriorSettingsAndTheCleanedOnes) {
  const ProxySnapshot prior = UserManualProxy();
  EXPECT_TRUE(IsCompatible(prior, prior, CleanedOptions()));

  ProxySnapshot cleaned = prior;
  cleaned.options = CleanedOptions();
  cleaned.raw[kSlotProxyEnable] = DwordValue(0);
  cleaned.raw[kSlotAutoConfigUrl] = RawValue{};
  EXPECT_TRUE(IsCompatible(cleaned, prior, CleanedOptions()));

  // What a system that mirrors options into the registry would leave.
  ProxySnapshot mirrored = cleaned;
  mirrored.raw[kSlotProxyServer] = Sz(u"");
  EXPECT_TRUE(IsCompatible(mirrored, prior, CleanedOptions()));
}

TEST(IsCompatible, RefusesAnythingSomeoneElseWrote) {
  const ProxySnapshot prior = UserManualProxy();
  const ProxyOptions target = CleanedOptions();

  ProxySnapshot other = prior;
  other.options.flags = 7;
  EXPECT_FALSE(IsCompatible(other, prior, target));
  other = prior;
  other.options.proxyServer = u"other:1";
  EXPECT_FALSE(IsCompatible(other, prior, target));
  other = prior;
  other.options.proxyBypass = u"";
  EXPECT_FALSE(IsCompatible(other, prior, target));
  other = prior;
  other.options.autoConfigUrl = u"http://other/";
  EXPECT_FALSE(IsCompatible(other, prior, target));
  other = prior;
  other.raw[kSlotProxyEnable] = DwordValue(2);
  EXPECT_FALSE(IsCompatible(other, prior, target));
  other = prior;
  other.raw[kSlotAutoConfigUrl] = Sz(u"http://other/p.pac");
  EXPECT_FALSE(IsCompatible(other, prior, target));
  other = prior;
  other.raw[kSlotProxyOverride] = TextValue(kRegExpandSz, u"*.corp;<local>");
  EXPECT_TRUE(IsCompatible(other, prior, target));  // consistent with the target's bypass
  other.raw[kSlotProxyOverride] = Sz(u"*.other");
  EXPECT_FALSE(IsCompatible(other, prior, target));
}

TEST(NextTicket, CountsUpAndSkipsZeroOnWrapAround) {
  EXPECT_EQ(NextTicket(0), 1u);
  EXPECT_EQ(NextTicket(41), 42u);
  EXPECT_EQ(NextTicket(0xFFFFFFFEu), 0xFFFFFFFFu);
  EXPECT_EQ(NextTicket(0xFFFFFFFFu), 1u);
}

TEST(AppliedProxy, PointsAtTheLoopbackPort) {
  EXPECT_EQ(AppliedServer(1), u"127.0.0.1:1");
  EXPECT_EQ(AppliedServer(8080), u"127.0.0.1:8080");
  EXPECT_EQ(AppliedServer(65535), u"127.0.0.1:65535");
  const ProxyOptions applied = AppliedOptions(8080);
  EXPECT_EQ(applied, (ProxyOptions{3, u"127.0.0.1:8080", u"<local>"}));
}

// Only a server exactly as a set writes it is ours: a port of 1 to 65535
// without leading zeros; anything else in the manual fields is the user's.
TEST(AppliedProxy, RecognisesOnlyTheServerASetWrites) {
  const struct {
    const char16_t* server;
    bool ours;
  } rows[] = {
      {u"127.0.0.1:1", true},     {u"127.0.0.1:8080", true},  {u"127.0.0.1:65535", true},
      {u"127.0.0.1:0", false},    {u"127.0.0.1:65536", false}, {u"127.0.0.1:08080", false},
      {u"127.0.0.1:", false},     {u"127.0.0.1:123456", false}, {u"127.0.0.1:80a", false},
      {u"127.0.0.2:8080", false}, {u"x127.0.0.1:8080", false},  {u"127.0.0.1:8080;", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(IsAppliedServer(row.server), row.ours) << "row " << (&row - rows);
  }
}

ProxyJournal SampleJournal() {
  ProxyJournal journal;
  journal.prior.options = {7, u"proxy.example:3128", u"*.corp;<local>", u"http://wpad.example/proxy.pac"};
  journal.prior.raw = {TextValue(kRegExpandSz, u" 1 "), TextValue(kRegSz, u"proxy.example:3128"), RawValue{},
                       DwordValue(9)};
  journal.entries = {{u"127.0.0.1:8080", {4242, 0x01DB000011112222ull}}, {u"127.0.0.1:9090", {77, 5}}};
  JournaledCleanup cleanup{{77, 5}, CleanupStage::kOpen, journal.prior, journal.prior};
  cleanup.cleaned.options = {1, u"proxy.example:3128", u"*.corp;<local>"};
  cleanup.cleaned.raw[kSlotAutoConfigUrl] = RawValue{};
  journal.cleanups = {cleanup};
  JournaledChange restoring{{4242, 0x01DB000011112222ull}, ChangeKind::kRestore, {}, journal.prior};
  restoring.from.options = {3, u"127.0.0.1:8080", u"<local>"};
  journal.changes = {restoring};
  return journal;
}

TEST(ProxyJournal, RoundTripsAndRefusesEveryDamagedOrForeignForm) {
  const ProxyJournal journal = SampleJournal();
  const std::vector<std::uint8_t> bytes = EncodeJournal(journal);
  ProxyJournal read;
  ASSERT_TRUE(DecodeJournal(bytes, read));
  EXPECT_EQ(read, journal);

  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::vector<std::uint8_t> damaged = bytes;
    damaged[i] ^= 0x20;
    EXPECT_FALSE(DecodeJournal(damaged, read)) << "byte " << i;
    damaged.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(i));
    EXPECT_FALSE(DecodeJournal(damaged, read)) << "cut at " << i;
  }
  std::vector<std::uint8_t> longer = bytes;
  longer.push_back(0);
  EXPECT_FALSE(DecodeJournal(longer, read));

  // Well-formed, but not what this program writes: refused all the same.
  ProxyJournal foreign = journal;
  foreign.entries[1].server = u"proxy.example:3128";
  EXPECT_FALSE(DecodeJournal(EncodeJournal(foreign), read));
  foreign = journal;
  foreign.prior.options = {3, u"127.0.0.1:9090", u"<local>"};  // our own as the user's
  EXPECT_FALSE(DecodeJournal(EncodeJournal(foreign), read));
  foreign = journal;
  foreign.entries.clear();
  foreign.cleanups.clear();
  foreign.changes.clear();
  EXPECT_FALSE(DecodeJournal(EncodeJournal(foreign), read));
  EXPECT_EQ(read, journal);  // a refused journal leaves the last one read

  foreign = journal;
  foreign.entries.clear();  // an open cleanup alone is a journal
  ASSERT_TRUE(DecodeJournal(EncodeJournal(foreign), read));
  EXPECT_EQ(read, foreign);
}

// A valid checksum over values the store could never have read is no journal.
TEST(ProxyJournal, RefusesNonsenseUnderAValidChecksum) {
  const ProxyJournal journal = SampleJournal();
  ProxyJournal read;
  const auto refused = [&](const char* what, const auto& change) {
    ProxyJournal nonsense = journal;
    change(nonsense);
    EXPECT_FALSE(DecodeJournal(EncodeJournal(nonsense), read)) << what;
  };
  refused("unknown flag", [](ProxyJournal& j) { j.prior.options.flags |= 0x10; });
  refused("NUL inside the server", [](ProxyJournal& j) { j.prior.options.proxyServer = ProxyText(u"a\0b", 3); });
  refused("3-byte number", [](ProxyJournal& j) { j.prior.raw[kSlotProxyEnable] = RawValue{true, kRegDword, {1, 0, 0}}; });
  refused("7-byte quadword", [](ProxyJournal& j) { j.prior.raw[kSlotProxyEnable] = RawValue{true, kRegQword, {1, 0, 0, 0, 0, 0, 0}}; });
  refused("half a UTF-16 unit", [](ProxyJournal& j) { j.prior.raw[kSlotProxyServer] = RawValue{true, kRegSz, {'a', 0, 0}}; });
  refused("unknown type", [](ProxyJournal& j) { j.prior.raw[kSlotProxyOverride] = RawValue{true, 0x1234, {}}; });
  refused("owner without an id", [](ProxyJournal& j) { j.entries[0].owner.processId = 0; });
  refused("repeated entry", [](ProxyJournal& j) { j.entries.push_back(j.entries[0]); });
  refused("unknown cleanup stage", [](ProxyJournal& j) { j.cleanups[0].stage = static_cast<CleanupStage>(9); });
  refused("two cleanups of one process", [](ProxyJournal& j) { j.cleanups.push_back(j.cleanups[0]); });
  refused("cleanup copy with unknown flags", [](ProxyJournal& j) { j.cleanups[0].prior.options.flags = 0x40; });
  refused("unknown change", [](ProxyJournal& j) { j.changes[0].kind = static_cast<ChangeKind>(3); });
  refused("two changes of one process", [](ProxyJournal& j) { j.changes.push_back(j.changes[0]); });
  refused("change aim with a 3-byte number", [](ProxyJournal& j) { j.changes[0].to.raw[kSlotProxyEnable] = RawValue{true, kRegDword, {1, 0, 0}}; });
  refused("server with a leading zero", [](ProxyJournal& j) { j.entries[1].server = u"127.0.0.1:09090"; });
  refused("port past 65535", [](ProxyJournal& j) { j.entries[1].server = u"127.0.0.1:65536"; });

  // What a user's registry may hold, odd or not, still reads back.
  ProxyJournal odd = journal;
  odd.prior.options.flags = 0;
  odd.prior.raw[kSlotProxyOverride] = RawValue{true, kRegBinary, {1, 2, 3}};
  odd.prior.raw[kSlotProxyServer] = RawValue{true, kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}};
  ASSERT_TRUE(DecodeJournal(EncodeJournal(odd), read));
  EXPECT_EQ(read, odd);
}

TEST(ProxyJournal, OptionsRouteThroughUsWhileTheProxyIsOnAndItsServerIsJournaled) {
  const ProxyJournal journal = SampleJournal();
  struct Row {
    ProxyOptions options;
    bool ours;
  };
  const Row rows[] = {
      {{3, u"127.0.0.1:8080", u"<local>"}, true},
      {{3, u"127.0.0.1:9090", u"<local>;*.other"}, true},
      {{2, u"127.0.0.1:8080", u""}, true},
      {{15, u"127.0.0.1:8080", u"<local>", u"http://x/p.pac"}, false},  // a setup script turned on
      {{11, u"127.0.0.1:8080", u"<local>"}, false},                     // automatic detection turned on
      {{1, u"127.0.0.1:8080", u"<local>"}, false},
      {{5, u"127.0.0.1:8080", u"<local>", u"http://x/p.pac"}, false},
      {{3, u"127.0.0.1:8081", u"<local>"}, false},
      {{3, u"proxy.example:3128", u"<local>"}, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(RoutesThroughProgram(row.options, journal), row.ours) << row.options.flags;
    EXPECT_FALSE(RoutesThroughProgram(row.options, ProxyJournal{}));
  }
  ProxyJournal mine = journal;
  AddEntry(mine, u"127.0.0.1:8080", {4242, 0x01DB000011112222ull});
  EXPECT_EQ(mine.entries.size(), 2u);
  DropEntries(mine, {4242, 0x01DB000011112222ull});
  EXPECT_FALSE(OwnsEntry(mine, {4242, 0x01DB000011112222ull}));
  EXPECT_TRUE(OwnsEntry(mine, {77, 5}));
  EXPECT_FALSE(OwnsEntry(mine, {77, 6}));  // a later process with the same id
}

// Our loopback in the manual fields is ours only while the manual proxy is on
// with it: journaled, or as a set writes it (its bypass list with it).
TEST(ProxyJournal, ALoopbackInTheManualFieldsIsOursOnlyWhileTheManualProxyIsOn) {
  ProxyJournal journal;
  const ProxyOptions applied = AppliedOptions(8080);
  EXPECT_TRUE(ManualProxyIsOurs(applied, journal));
  EXPECT_FALSE(ManualProxyIsOurs({kProxyTypeDirect, applied.proxyServer, applied.proxyBypass}, journal));
  const ProxyOptions ownBypass{applied.flags, applied.proxyServer, u"*.corp;<local>"};
  EXPECT_FALSE(ManualProxyIsOurs(ownBypass, journal)) << "neither journaled nor as a set writes it";
  AddEntry(journal, applied.proxyServer, {1, 2});
  EXPECT_TRUE(ManualProxyIsOurs(ownBypass, journal)) << "journaled";
  EXPECT_FALSE(ManualProxyIsOurs({applied.flags, u"proxy.example:3128", applied.proxyBypass}, journal));
}

// One entry per server and owner, however often a set repeats.
TEST(ProxyJournal, AnEntryIsAddedOnceForEachServerAndOwner) {
  ProxyJournal journal;
  AddEntry(journal, u"127.0.0.1:8080", {1, 2});
  AddEntry(journal, u"127.0.0.1:8080", {1, 2});
  ASSERT_EQ(journal.entries.size(), 1u);
  AddEntry(journal, u"127.0.0.1:8080", {3, 4});
  AddEntry(journal, u"127.0.0.1:9090", {1, 2});
  EXPECT_EQ(journal.entries.size(), 3u);
  DropEntries(journal, {1, 2});
  ASSERT_EQ(journal.entries.size(), 1u);
  EXPECT_EQ(journal.entries[0].owner, (JournalOwner{3, 4}));
}

TEST(RestoreMayResume, AcceptsTheCleanedSettingsOrARestoreStoppedHalfWay) {
  ProxySnapshot prior;
  prior.options = {3, u"proxy.example:3128", u"<local>"};
  prior.raw = {TextValue(kRegSz, u"1"), TextValue(kRegSz, u"proxy.example:3128"), RawValue{},
               TextValue(kRegSz, u"http://x/p.pac")};
  ProxySnapshot cleaned = prior;
  cleaned.options = {1, u"", u"<local>"};
  cleaned.raw[kSlotProxyEnable] = DwordValue(0);
  cleaned.raw[kSlotAutoConfigUrl] = RawValue{};
  EXPECT_TRUE(RestoreMayResume(cleaned, prior, cleaned, false));
  ProxySnapshot halfway = cleaned;
  halfway.options = prior.options;
  EXPECT_FALSE(RestoreMayResume(halfway, prior, cleaned, false));  // no restore began: someone else's
  EXPECT_TRUE(RestoreMayResume(halfway, prior, cleaned, true));
  halfway.raw[kSlotAutoConfigUrl] = prior.raw[kSlotAutoConfigUrl];
  EXPECT_TRUE(RestoreMayResume(halfway, prior, cleaned, true));
  halfway.raw[kSlotProxyEnable] = DwordValue(1);  // as the options write left it
  EXPECT_TRUE(RestoreMayResume(halfway, prior, cleaned, true));
  halfway.raw[kSlotProxyServer] = TextValue(kRegSz, u"other.example:1");
  EXPECT_FALSE(RestoreMayResume(halfway, prior, cleaned, true));
  ProxySnapshot rawOnly = cleaned;
  rawOnly.raw[kSlotProxyEnable] = DwordValue(1);  // consistent with the prior options, but those are not back
  EXPECT_FALSE(RestoreMayResume(rawOnly, prior, cleaned, true));
  ProxySnapshot byHand = cleaned;
  byHand.options = {3, u"new.example:8080", u"<local>"};
  EXPECT_FALSE(RestoreMayResume(byHand, prior, cleaned, true));
}

}  // namespace
}  // namespace orv::proxy
