// The preflight's evaluation against a plain reading of its rules, over
// thousands of random small filter sets drawn around the reported pattern.

#include <gtest/gtest.h>

#include <random>

#include "native/dns/wfp/wfp_preflight_evaluation.h"
#include "tests/native/dns/wfp/preflight_builders.h"
#include "tests/native/dns/wfp/preflight_reference.h"

namespace orv::dns {
namespace {

class RandomSets {
 public:
  explicit RandomSets(std::uint32_t seed) : rng_(seed) {}

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  bool Chance(int percent) { return Pick(100) < percent; }

  Context MakeContext() {
    Context context;
    const int count = 1 + Pick(3);
    interfaces_ = count;
    for (int i = 0; i < count; ++i) context.interfaces.push_back({static_cast<std::uint32_t>(7 + i), 0x700u + i});
    if (!Chance(20)) context.selfAppId = std::vector<std::uint8_t>{1, 2, 3};
    if (!Chance(20)) context.serviceHostAppId = std::vector<std::uint8_t>{4, 5};
    return context;
  }

  // Interface values: the listed ones (7..9, LUIDs 0x700..) and one unlisted.
  Condition InterfaceCondition() {
    const int which = Pick(4);
    const std::uint32_t match = MatchType();
    if (Chance(50)) return test::IfIndex(which == 3 ? 20 : 7 + which, match);
    Condition c = test::IfLuid(which == 3 ? 0x2000 : 0x700u + which, match);
    c.valuePresent = !Chance(5);
    return c;
  }

  std::uint32_t MatchType() {
    static constexpr std::uint32_t kTypes[] = {kMatchEqual,       kMatchEqual,       kMatchNotEqual, kMatchNotEqual,
                                               kMatchFlagsAllSet, kMatchFlagsAnySet, kMatchFlagsNoneSet, 1, 5};
    return kTypes[Pick(9)];
  }

  Condition AnyCondition() {
    switch (Pick(9)) {
      case 0:
        return test::Port(Chance(70) ? 53 : 54, MatchType());
      case 1:
        return test::Protocol(Chance(70) ? 17 : 6, MatchType());
      case 2:
        return test::Make(Field::kFlags, MatchType(), kValueUInt32, Chance(60) ? 1 : 3);
      case 3:
        return test::Make(Field::kRemoteAddress, MatchType(), kValueUInt32, Chance(60) ? 0xAC130002 : 0x08080808);
      case 4: {
        Condition c = test::AddressMask(Chance(60) ? 0xAC130000 : 0x0A000000, 0xFFFF0000, MatchType());
        c.valuePresent = !Chance(10);
        return c;
      }
      case 5:
      case 6:
        return InterfaceCondition();
      case 7: {
        static const std::vector<std::uint8_t> kBlobs[] = {{1, 2, 3}, {4, 5}, {9}, {}};
        return test::AppId(kBlobs[Pick(4)], MatchType());
      }
      default: {
        // An unknown field, or a known field with a type outside the model.
        Condition c = test::Make(Chance(50) ? Field::kOther : Field::kRemotePort, kMatchEqual,
                                 Chance(50) ? kValueUInt32 : kValueUInt16, 53);
        if (c.field == Field::kOther) c.fieldKey = test::KeyOf(0x999, 0xF4);
        return c;
      }
    }
  }

  std::vector<Condition> Conditions(int shape) {
    std::vector<Condition> conditions;
    if (shape == 0) {  // the candidate's pattern
      conditions = {test::Port(53), test::IfIndex(7 + ListedMostly(), kMatchNotEqual)};
    } else if (shape == 1) {  // the companion's pattern
      conditions = {test::IfIndex(7 + ListedMostly())};
    }
    const int extra = shape <= 1 ? (large_ || Chance(70) ? 0 : 1) : Pick(4);
    for (int i = 0; i < extra; ++i) conditions.push_back(AnyCondition());
    return conditions;
  }

  Filter MakeOne(std::uint64_t id) {
    static constexpr std::uint32_t kActions[] = {kActionBlock, kActionBlock, kActionPermit, kActionPermit,
                                                 kActionContinue};
    const int draw = Pick(10);
    const int shape = draw < 5 ? 0 : draw < 8 || (large_ && !Chance(10)) ? 1 : 2;
    const std::uint32_t action = shape == 0 ? kActionBlock : shape == 1 ? kActionPermit : kActions[Pick(5)];
    const std::uint64_t weight = shape == 0 ? 1 + Pick(5) : shape == 1 ? 3 + Pick(5) : 1 + Pick(8);
    Filter f = test::MakeFilter(id, action, weight, Conditions(shape), test::KeyOf(1 + Pick(sublayers_), 0x5B));
    if (Chance(8)) f.weight.reset();
    if (Chance(5)) f.flags |= kFilterFlagBootTime;
    if (Chance(5)) f.flags |= kFilterFlagDisabled;
    if (Pick(1000) < clearPerMille_) f.flags |= kFilterFlagClearActionRight;
    if (large_ || Chance(70)) f.provider = test::KeyOf(large_ || Chance(85) ? 0x77 : 0x78, 0x9A);
    if (Chance(3)) f.id = 0;
    if (Chance(3)) f.key = Key{};
    if (Chance(3)) f.layer = test::KeyOf(5);
    if (Chance(3)) {
      f.conditionsMissing = true;
      f.conditions.clear();
      f.conditionCount = 1;
    }
    return f;
  }

  std::vector<Filter> MakeSet() {
    std::vector<Filter> filters;
    // Now and then a large set over many sublayers, where more candidates
    // survive than the report can hold.
    const bool large = Chance(5);
    large_ = large;
    sublayers_ = large ? 100 : 1 + Pick(3);
    clearPerMille_ = large ? 3 : 100;
    weightRange_ = large ? 1000 : 3;
    const int count = large ? 250 + Pick(100) : 1 + Pick(10);
    for (int i = 0; i < count; ++i) filters.push_back(MakeOne(static_cast<std::uint64_t>(Pick(4) == 0 ? 1 : i + 1)));
    return filters;
  }

  // Sublayer weights; some cannot be read.
  SublayerWeightLookup MakeLookup() {
    std::array<std::optional<std::uint16_t>, 128> weights;
    for (auto& w : weights) {
      if (!Chance(15)) w = static_cast<std::uint16_t>(Pick(weightRange_));
    }
    return [weights](const Key& key) -> std::optional<std::uint16_t> {
      return key.bytes[0] < weights.size() ? weights[key.bytes[0]] : std::nullopt;
    };
  }

 private:
  // Mostly one of the listed interfaces (index 7 on), now and then one beyond.
  int ListedMostly() { return Chance(85) ? Pick(interfaces_) : Pick(3); }

  std::mt19937 rng_;
  int sublayers_ = 3;
  int interfaces_ = 1;
  int clearPerMille_ = 100;
  bool large_ = false;
  int weightRange_ = 3;
};

TEST(WfpPreflightRandomComparison, SameReportsAndCodeAsThePlainRules) {
  RandomSets sets(20261208);
  int withReports = 0;
  int overflowing = 0;
  constexpr int kSets = 20000;
  for (int n = 0; n < kSets; ++n) {
    const Context context = sets.MakeContext();
    const std::vector<Filter> filters = sets.MakeSet();
    const SublayerWeightLookup lookup = sets.MakeLookup();
    const std::uint32_t code = sets.Chance(10) ? 87 : 0;
    const Evaluation fast = EvaluatePreflight(filters, context, code, lookup);
    const Evaluation plain = reference::Evaluate(filters, context, code, lookup).evaluation;
    ASSERT_EQ(fast.code, plain.code) << "set " << n;
    ASSERT_EQ(fast.reported, plain.reported) << "set " << n;
    withReports += plain.reported.empty() ? 0 : 1;
    overflowing += plain.code == kMoreData ? 1 : 0;
  }
  // The sets must reach the interesting outcomes, or the comparison proves little.
  EXPECT_GT(withReports, kSets / 20);
  EXPECT_GT(overflowing, 0);
}

}  // namespace
}  // namespace orv::dns
