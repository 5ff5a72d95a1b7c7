// Verdicts of single conditions and whole filters against the modelled DNS
// connection, on an unlisted interface and on a listed one.

#include <gtest/gtest.h>

#include "native/dns/wfp/wfp_filter_verdict.h"
#include "tests/native/dns/wfp/preflight_builders.h"

namespace orv::dns {
namespace {

using test::AddressMask;
using test::AppId;
using test::IfIndex;
using test::IfLuid;
using test::Make;
using test::Port;
using test::Protocol;

constexpr Verdict M = Verdict::kMatch;
constexpr Verdict N = Verdict::kNoMatch;
constexpr Verdict U = Verdict::kUnknown;

Context TwoInterfaces() {
  Context context;
  context.interfaces = {{7, 0x700}, {8, 0x800}};
  context.selfAppId = std::vector<std::uint8_t>{1, 2, 3};
  context.serviceHostAppId = std::vector<std::uint8_t>{4, 5};
  return context;
}

struct ConditionRow {
  const char* name;
  Condition condition;
  Verdict other;
  Verdict onFirstListed;
  bool port53 = false;
  bool interfaceFlag = false;
};

Condition Flags(std::uint32_t match, std::uint64_t value) { return Make(Field::kFlags, match, kValueUInt32, value); }

TEST(WfpConditionVerdict, EveryRowOfTheTableUnderBothProbes) {
  constexpr std::uint32_t ne = kMatchNotEqual;
  constexpr std::uint32_t greater = 1;
  Condition absentLuid = IfLuid(0x700);
  absentLuid.valuePresent = false;
  Condition absentMask = AddressMask(0xAC130002, 0xFFFFFFFF);
  absentMask.valuePresent = false;
  const ConditionRow rows[] = {
      {"port 53", Port(53), M, M, true, false},
      {"port 54", Port(54), N, N},
      {"port not 53", Port(53, ne), N, N},
      {"port not 54", Port(54, ne), M, M},
      {"port greater", Port(53, greater), U, U},
      {"port as 32 bits", Make(Field::kRemotePort, kMatchEqual, kValueUInt32, 53), U, U},
      {"udp", Protocol(17), M, M},
      {"tcp", Protocol(6), N, N},
      {"not tcp", Protocol(6, ne), M, M},
      {"not udp", Protocol(17, ne), N, N},
      {"protocol greater", Protocol(17, greater), U, U},
      {"flags all set, loopback among others", Flags(kMatchFlagsAllSet, 0x41), N, N},
      {"flags all set without loopback", Flags(kMatchFlagsAllSet, 0x40), U, U},
      {"flags any set loopback", Flags(kMatchFlagsAnySet, 0x1), N, N},
      {"flags any set more than loopback", Flags(kMatchFlagsAnySet, 0x3), U, U},
      {"flags none set loopback", Flags(kMatchFlagsNoneSet, 0x1), M, M},
      {"flags none set more than loopback", Flags(kMatchFlagsNoneSet, 0x3), U, U},
      {"flags equal", Flags(kMatchEqual, 0x1), U, U},
      {"address is the server", Make(Field::kRemoteAddress, kMatchEqual, kValueUInt32, 0xAC130002), M, M},
      {"address elsewhere", Make(Field::kRemoteAddress, kMatchEqual, kValueUInt32, 0x08080808), N, N},
      {"address not the server", Make(Field::kRemoteAddress, ne, kValueUInt32, 0xAC130002), N, N},
      {"address not elsewhere", Make(Field::kRemoteAddress, ne, kValueUInt32, 0x08080808), M, M},
      {"address greater", Make(Field::kRemoteAddress, greater, kValueUInt32, 0xAC130002), U, U},
      {"subnet holds the server", AddressMask(0xAC130000, 0xFFFF0000), M, M},
      {"subnet elsewhere", AddressMask(0xAC140000, 0xFFFF0000), N, N},
      {"not the subnet of the server", AddressMask(0xAC1300FF, 0xFFFFFF00, ne), N, N},
      {"not another subnet", AddressMask(0x0A000000, 0xFF000000, ne), M, M},
      {"subnet without a value", absentMask, U, U},
      {"index of the first", IfIndex(7), N, M, false, true},
      {"index of the second", IfIndex(8), N, N},
      {"index unlisted", IfIndex(9), U, N},
      {"not index of the first", IfIndex(7, ne), M, N},
      {"not index of the second", IfIndex(8, ne), M, M},
      {"not index unlisted", IfIndex(9, ne), U, M},
      {"index greater", IfIndex(7, greater), U, U},
      {"index as 64 bits", Make(Field::kInterfaceIndex, kMatchEqual, kValueUInt64, 7), U, U},
      {"luid of the first", IfLuid(0x700), N, M, false, true},
      {"luid unlisted", IfLuid(0x900), U, N},
      {"not luid of the second", IfLuid(0x800, ne), M, M},
      {"luid greater", IfLuid(0x700, greater), U, U},
      {"luid without a value", absentLuid, U, U},
      {"luid compared as an index", IfLuid(7), U, N},
      {"app id of this program", AppId({1, 2, 3}), U, U},
      {"app id of the service host", AppId({4, 5}), U, U},
      {"another app id", AppId({9}), N, N},
      {"another app id, not equal", AppId({9}, ne), U, U},
      {"empty app id", AppId({}), U, U},
      {"unknown field", Make(Field::kOther, kMatchEqual, kValueUInt16, 53), U, U},
  };
  const Context context = TwoInterfaces();
  for (const ConditionRow& row : rows) {
    const FilterVerdict other = EvaluateCondition(row.condition, context, kOtherInterface);
    const FilterVerdict listed = EvaluateCondition(row.condition, context, 0);
    EXPECT_EQ(other.verdict, row.other) << row.name;
    EXPECT_EQ(listed.verdict, row.onFirstListed) << row.name;
    EXPECT_EQ(other.port53, row.port53) << row.name;
    EXPECT_EQ(listed.interfaceFlag, row.interfaceFlag) << row.name;
    EXPECT_FALSE(other.interfaceFlag) << row.name;
  }
}

TEST(WfpConditionVerdict, NextHopFormsFollowTheInterfaceRule) {
  // The converter maps both index keys and both LUID keys onto one field each;
  // the key itself only decides duplicates.
  const Context context = TwoInterfaces();
  Condition nextHopIndex = IfIndex(8);
  nextHopIndex.fieldKey = test::KeyOf(0x138E6888, 0xF2);
  Condition nextHopLuid = IfLuid(0x800, kMatchNotEqual);
  nextHopLuid.fieldKey = test::KeyOf(0x93AE8F5B, 0xF2);
  Filter f = test::MakeFilter(1, kActionBlock, 1, {IfIndex(7, kMatchNotEqual), nextHopIndex});
  EXPECT_EQ(EvaluateFilter(f, context, 1).verdict, M);
  EXPECT_TRUE(EvaluateFilter(f, context, 1).interfaceFlag);
  EXPECT_EQ(EvaluateFilter(f, context, kOtherInterface).verdict, N);
  f = test::MakeFilter(1, kActionBlock, 1, {IfLuid(0x700, kMatchNotEqual), nextHopLuid});
  EXPECT_EQ(EvaluateFilter(f, context, kOtherInterface).verdict, M);
  EXPECT_EQ(EvaluateFilter(f, context, 0).verdict, N);
}

TEST(WfpConditionVerdict, MissingApplicationIdsLeaveTheConditionUnknown) {
  Context context = TwoInterfaces();
  context.serviceHostAppId.reset();
  EXPECT_EQ(EvaluateCondition(AppId({9}), context, kOtherInterface).verdict, U);
  context = TwoInterfaces();
  context.selfAppId.reset();
  EXPECT_EQ(EvaluateCondition(AppId({9}), context, kOtherInterface).verdict, U);
  context.serviceHostAppId.reset();
  EXPECT_EQ(EvaluateCondition(AppId({1, 2, 3}), context, kOtherInterface).verdict, U);
}

TEST(WfpFilterVerdict, ShapeOfTheConditionList) {
  const Context context = TwoInterfaces();
  Filter none = test::MakeFilter(1, kActionBlock, 1, {});
  EXPECT_EQ(EvaluateFilter(none, context, kOtherInterface).verdict, M);

  Filter nullArray = test::MakeFilter(1, kActionBlock, 1, {});
  nullArray.conditionCount = 2;
  nullArray.conditionsMissing = true;
  EXPECT_EQ(EvaluateFilter(nullArray, context, kOtherInterface).verdict, U);

  std::vector<Condition> many;
  for (std::uint64_t i = 0; i < 65; ++i) {
    Condition c = Port(53);
    c.fieldKey = test::KeyOf(i + 100, 0xF3);
    many.push_back(c);
  }
  Filter tooMany = test::MakeFilter(1, kActionBlock, 1, many);
  EXPECT_EQ(EvaluateFilter(tooMany, context, kOtherInterface).verdict, U);
  many.pop_back();
  Filter sixtyFour = test::MakeFilter(1, kActionBlock, 1, many);
  EXPECT_EQ(EvaluateFilter(sixtyFour, context, kOtherInterface).verdict, M);
}

TEST(WfpFilterVerdict, DuplicateKeysAndOrderOfVerdicts) {
  const Context context = TwoInterfaces();
  // Two remote ports: neither is evaluated, so not even the port flag is set.
  const FilterVerdict twin = EvaluateFilter(test::MakeFilter(1, kActionBlock, 1, {Port(53), Port(53)}), context,
                                            kOtherInterface);
  EXPECT_EQ(twin.verdict, U);
  EXPECT_FALSE(twin.port53);
  // A duplicate never hides a no-match of another field.
  EXPECT_EQ(EvaluateFilter(test::MakeFilter(1, kActionBlock, 1, {Port(53), Port(53), Protocol(6)}), context,
                           kOtherInterface)
                .verdict,
            N);
  // No-match after an unknown wins.
  EXPECT_EQ(EvaluateFilter(test::MakeFilter(1, kActionBlock, 1, {IfIndex(9), Protocol(6)}), context,
                           kOtherInterface)
                .verdict,
            N);
  const FilterVerdict flagged =
      EvaluateFilter(test::MakeFilter(1, kActionBlock, 1, {Port(53), IfIndex(7, kMatchNotEqual)}), context,
                     kOtherInterface);
  EXPECT_EQ(flagged.verdict, M);
  EXPECT_TRUE(flagged.port53);
}

TEST(WfpFilterVerdict, ListedMatchNeedsTheInterfaceFlag) {
  const Context context = TwoInterfaces();
  EXPECT_TRUE(MatchesListedInterface(test::MakeFilter(1, kActionPermit, 1, {IfIndex(8)}), context));
  // Matches the first listed interface, but only by excluding the second.
  EXPECT_FALSE(MatchesListedInterface(test::MakeFilter(1, kActionPermit, 1, {IfIndex(8, kMatchNotEqual)}), context));
  EXPECT_FALSE(MatchesListedInterface(test::MakeFilter(1, kActionPermit, 1, {IfIndex(9)}), context));
}

}  // namespace
}  // namespace orv::dns
