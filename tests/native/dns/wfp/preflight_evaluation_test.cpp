// Which blocking filters the preflight reports: candidates, shadows,
// companions, hard permits and the report bound.

#include <gtest/gtest.h>

#include <map>

#include "native/dns/wfp/wfp_preflight_evaluation.h"
#include "tests/native/dns/wfp/preflight_builders.h"

namespace orv::dns {
namespace {

using test::IfIndex;
using test::KeyOf;
using test::MakeFilter;
using test::Port;
using test::Protocol;

const Key kSublayerA = KeyOf(0xA, 0x5B);
const Key kSublayerB = KeyOf(0xB, 0x5B);
const Key kProvider = KeyOf(0x77, 0x9A);
const Key kOtherProvider = KeyOf(0x78, 0x9A);

// One listed interface, index 7; the pattern the preflight looks for is a
// block of port 53 everywhere but index 7 (weight 10) with a permit of the
// same provider for index 7 above it (weight 20), both in sublayer A.
class WfpPreflightScan : public ::testing::Test {
 protected:
  WfpPreflightScan() {
    context.interfaces = {{7, 0x700}};
    weights[kSublayerA] = 100;
    weights[kSublayerB] = 50;
    filters.push_back(Candidate(1, 10));
    filters.push_back(Companion(2, 20));
  }

  static Filter Candidate(std::uint64_t id, std::uint64_t weight) {
    Filter f = MakeFilter(id, kActionBlock, weight, {Port(53), IfIndex(7, kMatchNotEqual)}, kSublayerA);
    f.provider = kProvider;
    return f;
  }
  static Filter Companion(std::uint64_t id, std::uint64_t weight) {
    Filter f = MakeFilter(id, kActionPermit, weight, {IfIndex(7)}, kSublayerA);
    f.provider = kProvider;
    return f;
  }
  static Filter HardPermit(std::uint64_t id, const Key& sublayer) {
    Filter f = MakeFilter(id, kActionPermit, 1, {Port(53)}, sublayer);
    f.flags = kFilterFlagClearActionRight;
    return f;
  }

  std::vector<std::uint64_t> Reported(std::uint32_t code = 0) {
    lookups = 0;
    const SublayerWeightLookup lookup = [this](const Key& key) -> std::optional<std::uint16_t> {
      ++lookups;
      const auto found = weights.find(key);
      if (found == weights.end()) return std::nullopt;
      return found->second;
    };
    last = EvaluatePreflight(filters, context, code, lookup);
    std::vector<std::uint64_t> ids;
    for (const ReportedFilter& r : last.reported) {
      EXPECT_EQ(r.key, KeyOf(r.id, 0xFE));
      ids.push_back(r.id);
    }
    return ids;
  }

  using Ids = std::vector<std::uint64_t>;
  Context context;
  std::vector<Filter> filters;
  std::map<Key, std::uint16_t, bool (*)(const Key&, const Key&)> weights{
      [](const Key& a, const Key& b) { return a.bytes < b.bytes; }};
  Evaluation last;
  int lookups = 0;
};

TEST_F(WfpPreflightScan, ThePatternIsReported) {
  EXPECT_EQ(Reported(), Ids{1});
  EXPECT_EQ(last.code, 0u);
  EXPECT_EQ(lookups, 0) << "no hard permit, no sublayer read";
}

TEST_F(WfpPreflightScan, WhatIsNotACandidate) {
  const auto variants = std::vector<std::pair<const char*, void (*)(Filter&)>>{
      {"boot-time", [](Filter& f) { f.flags = kFilterFlagBootTime; }},
      {"disabled", [](Filter& f) { f.flags = kFilterFlagDisabled; }},
      {"permit", [](Filter& f) { f.action = kActionPermit; }},
      {"other layer", [](Filter& f) { f.layer = KeyOf(5); }},
      {"id 0", [](Filter& f) { f.id = 0; }},
      {"zero key", [](Filter& f) { f.key = Key{}; }},
      {"no 64-bit weight", [](Filter& f) { f.weight.reset(); }},
      {"a listed interface", [](Filter& f) { f.conditions[1] = IfIndex(7); }},
      {"tcp", [](Filter& f) { f.conditions.push_back(Protocol(6)); ++f.conditionCount; }},
      {"udp but no port condition", [](Filter& f) { f.conditions[0] = Protocol(17); }},
      {"port other than 53 excluded", [](Filter& f) { f.conditions[0] = Port(54, kMatchNotEqual); }},
      {"two port conditions", [](Filter& f) { f.conditions[1] = Port(53); }},
  };
  for (const auto& [name, change] : variants) {
    filters[0] = Candidate(1, 10);
    change(filters[0]);
    EXPECT_EQ(Reported(), Ids{}) << name;
  }
}

TEST_F(WfpPreflightScan, ShadowsInTheSameSublayer) {
  Filter block = MakeFilter(3, kActionBlock, 10, {Port(53)}, kSublayerA);
  filters.push_back(block);
  EXPECT_EQ(Reported(), Ids{}) << "an equal weight shadows";
  filters[2].weight = 9;
  EXPECT_EQ(Reported(), Ids{1}) << "a lower weight is skipped";
  filters[2].weight.reset();
  EXPECT_EQ(Reported(), Ids{}) << "no 64-bit weight is never skipped";
  filters[2].action = kActionContinue;
  filters[2].weight = 30;
  EXPECT_EQ(Reported(), Ids{1}) << "continue never shadows";
  filters[2].action = kActionPermit;
  filters[2].conditions = {test::IfIndex(9)};
  EXPECT_EQ(Reported(), Ids{}) << "an unknown verdict shadows";
  filters[2].flags = kFilterFlagDisabled;
  EXPECT_EQ(Reported(), Ids{1}) << "disabled filters are ignored";
  filters[2].flags = kFilterFlagBootTime;
  EXPECT_EQ(Reported(), Ids{1}) << "boot-time filters are ignored";
  filters[2].flags = 0;
  filters[2].sublayer = kSublayerB;
  EXPECT_EQ(Reported(), Ids{1}) << "another sublayer does not shadow";
}

TEST_F(WfpPreflightScan, TheCompanion) {
  filters[1].weight = 10;
  EXPECT_EQ(Reported(), Ids{}) << "an equal weight is not above";
  filters[1] = Companion(2, 20);
  filters[1].provider = kOtherProvider;
  EXPECT_EQ(Reported(), Ids{}) << "another provider";
  filters[1].provider.reset();
  EXPECT_EQ(Reported(), Ids{}) << "one without provider";
  filters[0].provider.reset();
  EXPECT_EQ(Reported(), Ids{1}) << "both without provider";
  filters[1] = Companion(2, 20);
  filters[0] = Candidate(1, 10);
  filters[1].action = kActionBlock;
  EXPECT_EQ(Reported(), Ids{}) << "a block is no companion";
  filters[1] = Companion(2, 20);
  filters[1].weight.reset();
  EXPECT_EQ(Reported(), Ids{}) << "a companion needs a 64-bit weight";
  filters[1] = Companion(2, 20);
  filters[1].sublayer = kSublayerB;
  EXPECT_EQ(Reported(), Ids{}) << "a companion shares the sublayer";
  filters[1] = Companion(2, 20);
  filters[1].conditions = {IfIndex(8)};
  EXPECT_EQ(Reported(), Ids{}) << "a permit for an unlisted interface shadows";
}

TEST_F(WfpPreflightScan, HardPermitsInOtherSublayers) {
  filters.push_back(HardPermit(3, kSublayerB));
  weights[kSublayerB] = 99;
  EXPECT_EQ(Reported(), Ids{1}) << "a lower sublayer does not matter";
  weights[kSublayerB] = 100;
  EXPECT_EQ(Reported(), Ids{}) << "an equal sublayer weight overrides";
  weights[kSublayerB] = 200;
  EXPECT_EQ(Reported(), Ids{});
  filters[2].flags = 0;
  EXPECT_EQ(Reported(), Ids{1}) << "a hard permit needs the clear-action-right flag";
  filters[2] = HardPermit(3, kSublayerB);
  filters[2].conditions = {Protocol(6)};
  EXPECT_EQ(Reported(), Ids{1}) << "a hard permit that does not match";
  filters[2] = HardPermit(3, kSublayerB);
  filters[2].sublayer = kSublayerA;
  filters[2].weight = 1;
  EXPECT_EQ(Reported(), Ids{1}) << "the candidate's own sublayer is no hard permit";
}

TEST_F(WfpPreflightScan, FailedSublayerReadsOverride) {
  filters.push_back(HardPermit(3, kSublayerB));
  weights.erase(kSublayerB);
  EXPECT_EQ(Reported(), Ids{}) << "the hard permit's sublayer";
  weights[kSublayerB] = 1;
  weights.erase(kSublayerA);
  EXPECT_EQ(Reported(), Ids{}) << "the candidate's sublayer";
}

TEST_F(WfpPreflightScan, HardPermitsAcrossSeveralSublayers) {
  const Key c = KeyOf(0xC, 0x5B);
  filters.push_back(HardPermit(3, kSublayerB));
  filters.push_back(HardPermit(4, c));
  filters.push_back(HardPermit(5, kSublayerA));  // the candidate's own sublayer, highest
  weights[kSublayerB] = 10;
  weights[c] = 99;
  EXPECT_EQ(Reported(), Ids{1});
  weights[c] = 100;
  EXPECT_EQ(Reported(), Ids{});
  weights[c] = 1;
  weights[kSublayerB] = 100;
  EXPECT_EQ(Reported(), Ids{});
}

TEST_F(WfpPreflightScan, SixteenAreListed) {
  filters.clear();
  for (std::uint64_t i = 1; i <= 17; ++i) filters.push_back(Candidate(i, 10 + i));
  // The companions sit above every candidate, but the candidates shadow one
  // another unless each has a sublayer of its own.
  for (std::uint64_t i = 1; i <= 17; ++i) {
    filters[i - 1].sublayer = KeyOf(0x100 + i, 0x5B);
    Filter companion = Companion(100 + i, 1000);
    companion.sublayer = filters[i - 1].sublayer;
    filters.push_back(companion);
  }
  const Ids ids = Reported();
  ASSERT_EQ(ids.size(), 16u);
  EXPECT_EQ(ids.front(), 1u);
  EXPECT_EQ(ids.back(), 16u);
  EXPECT_EQ(last.code, kMoreData);
  filters.erase(filters.begin());
  EXPECT_EQ(Reported(87).size(), 16u);
  EXPECT_EQ(last.code, 87u) << "sixteen fit: the interface list's code stays";
}

}  // namespace
}  // namespace orv::dns
