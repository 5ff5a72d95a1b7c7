// The preflight's evaluation on filter sets where the plain reading of the
// rules is quadratic in condition evaluations: one sublayer of the connect
// layer holding, first, permits of another provider for the listed interface
// above every candidate; then blocks of port 53 on all but the listed
// interface in ascending weight (each shadowed by the next); one companion
// for the highest; and hard permits in lower-weighted sublayers.
// Compared with one linear pass of other-interface verdicts and with the
// plain reading. Medians of five repetitions.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "native/dns/wfp/wfp_filter_verdict.h"
#include "native/dns/wfp/wfp_preflight_evaluation.h"
#include "tests/native/dns/wfp/preflight_builders.h"
#include "tests/native/dns/wfp/preflight_reference.h"

namespace {

using namespace orv::dns;

constexpr std::uint32_t kListedIndex = 7;
constexpr int kHardPermits = 16;

struct Workload {
  Context context;
  std::vector<Filter> filters;
  SublayerWeightLookup weights;
};

Filter MakeFilterWithProvider(std::uint64_t id, std::uint32_t action, std::uint64_t weight, const Key& provider) {
  Filter f = test::MakeFilter(id, action, weight, {});
  f.provider = provider;
  return f;
}

Workload MakeWorkload(std::size_t n) {
  Workload w;
  w.context.interfaces = {{kListedIndex, 0x700}};
  const Key connect = test::KeyOf(1, 0x5B);
  const Key ours = test::KeyOf(0x77, 0x9A);
  const Key theirs = test::KeyOf(0x78, 0x9A);
  const std::size_t permits = n / 2;
  const std::size_t candidates = n - permits - 1 - kHardPermits;
  std::uint64_t id = 1;
  for (std::size_t i = 0; i < permits; ++i, ++id) {
    Filter f = MakeFilterWithProvider(id, kActionPermit, 1'000'000 + i, theirs);
    f.conditions = {test::Port(53), test::IfIndex(kListedIndex)};
    f.conditionCount = 2;
    f.sublayer = connect;
    w.filters.push_back(f);
  }
  for (std::size_t i = 0; i < candidates; ++i, ++id) {
    Filter f = MakeFilterWithProvider(id, kActionBlock, 1'000 + i, ours);
    f.conditions = {test::Port(53), test::IfIndex(kListedIndex, kMatchNotEqual)};
    f.conditionCount = 2;
    f.sublayer = connect;
    w.filters.push_back(f);
  }
  Filter companion = MakeFilterWithProvider(id++, kActionPermit, 1'000 + candidates, ours);
  companion.conditions = {test::IfIndex(kListedIndex)};
  companion.conditionCount = 1;
  companion.sublayer = connect;
  w.filters.push_back(companion);
  for (int i = 0; i < kHardPermits; ++i, ++id) {
    Filter f = MakeFilterWithProvider(id, kActionPermit, 1, ours);
    f.flags = kFilterFlagClearActionRight;
    f.conditions = {test::Port(53)};
    f.conditionCount = 1;
    f.sublayer = test::KeyOf(2 + i % 4, 0x5B);
    w.filters.push_back(f);
  }
  w.weights = [connect](const Key& key) -> std::optional<std::uint16_t> {
    return key == connect ? 1000 : 10 + key.bytes[0];
  };
  return w;
}

std::map<std::string, double>& Medians() {
  static std::map<std::string, double> medians;
  return medians;
}

void BM_Evaluation(benchmark::State& state) {
  const Workload w = MakeWorkload(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    Evaluation result = EvaluatePreflight(w.filters, w.context, 0, w.weights);
    benchmark::DoNotOptimize(result);
    if (result.reported.size() != 1) state.SkipWithError("the workload must report exactly one filter");
  }
}

void BM_LinearVerdictPass(benchmark::State& state) {
  const Workload w = MakeWorkload(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::size_t matches = 0;
    for (const Filter& f : w.filters) matches += EvaluateFilter(f, w.context, kOtherInterface).verdict == Verdict::kMatch;
    benchmark::DoNotOptimize(matches);
  }
}

void BM_PlainReference(benchmark::State& state) {
  const Workload w = MakeWorkload(static_cast<std::size_t>(state.range(0)));
  std::uint64_t evaluations = 0;
  for (auto _ : state) {
    const reference::Outcome outcome = reference::Evaluate(w.filters, w.context, 0, w.weights);
    evaluations = outcome.conditionEvaluations;
    benchmark::DoNotOptimize(outcome);
  }
  state.counters["conditionEvaluations"] = static_cast<double>(evaluations);
  const double n = static_cast<double>(state.range(0));
  state.counters["perNSquared"] = static_cast<double>(evaluations) / (n * n);
}

BENCHMARK(BM_Evaluation)->Arg(1024)->Arg(8192)->Repetitions(5)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LinearVerdictPass)
    ->Arg(1024)
    ->Arg(8192)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainReference)
    ->Arg(1024)
    ->Arg(8192)
    ->Repetitions(5)
    ->Iterations(1)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

// Keeps each median so the ratios can be printed at the end.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        Medians()[run.run_name.function_name + "/" + run.run_name.args] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  for (const std::size_t n : {std::size_t{1024}, std::size_t{8192}}) {
    const Workload w = MakeWorkload(n);
    const std::uint64_t evaluations = reference::Evaluate(w.filters, w.context, 0, w.weights).conditionEvaluations;
    std::printf("N=%zu: the plain reference evaluates %llu conditions (%.2f N^2; at least 0.125 wanted)\n", n,
                static_cast<unsigned long long>(evaluations),
                static_cast<double>(evaluations) / (static_cast<double>(n) * static_cast<double>(n)));
  }
  auto& m = Medians();
  const auto at = [&](const char* name, int n) { return m[std::string(name) + "/" + std::to_string(n)]; };
  for (const int n : {1024, 8192}) {
    std::printf("N=%d medians: evaluation %.1f us, linear verdict pass %.1f us, plain reference %.1f us\n", n,
                at("BM_Evaluation", n), at("BM_LinearVerdictPass", n), at("BM_PlainReference", n));
  }
  std::printf("evaluation / linear pass at N=8192: %.2f (goal: at most 10)\n",
              at("BM_Evaluation", 8192) / at("BM_LinearVerdictPass", 8192));
  std::printf("evaluation N=8192 / N=1024: %.2f (goal: at most 12; linear 8, quadratic 64)\n",
              at("BM_Evaluation", 8192) / at("BM_Evaluation", 1024));
  std::printf("plain reference / evaluation at N=8192: %.1f\n",
              at("BM_PlainReference", 8192) / at("BM_Evaluation", 8192));
  return 0;
}
