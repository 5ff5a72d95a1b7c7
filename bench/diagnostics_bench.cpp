// What a thread pays to record a startup stage when the log writer is stalled
// and the queue is full, against formatting the same line alone.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "runner/diagnostics/diagnostic_lines.h"
#include "runner/diagnostics/diagnostic_queue.h"

namespace {

orv::StageLineFields Fields() {
  orv::StageLineFields f;
  f.time = {2026, 12, 8, 3, 4, 5, 678};
  f.processId = 4242;
  f.threadId = 4243;
  f.runStartTick = 123456789;
  f.nowTick = 123456999;
  f.stage = "main.plugins.register.begin";
  return f;
}

void BM_RecordStageWithStalledWriter(benchmark::State& state) {
  // The writer is scheduled once and never runs: every further line meets a full queue.
  orv::DiagnosticQueue queue({[] { return true; }, [](const std::string&) {}, [](const char*) {}});
  const auto fields = Fields();
  for (size_t i = 0; i < orv::DiagnosticQueue::kCapacity; ++i) orv::QueueStageLine(queue, fields);
  for (auto _ : state) orv::QueueStageLine(queue, fields);
}
BENCHMARK(BM_RecordStageWithStalledWriter);

void BM_RecordStageWithIdleQueue(benchmark::State& state) {
  // Lines are accepted (copied) each time; the queue is emptied outside the timing.
  orv::DiagnosticQueue queue({[] { return true; }, [](const std::string&) {}, [](const char*) {}});
  const auto fields = Fields();
  size_t queued = 0;
  for (auto _ : state) {
    orv::QueueStageLine(queue, fields);
    if (++queued == orv::DiagnosticQueue::kCapacity) {
      state.PauseTiming();
      queue.Drain();
      queue.Enqueue("x");  // reschedule the (never running) writer
      queue.Drain();
      queued = 0;
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_RecordStageWithIdleQueue);

void BM_BareSnprintf(benchmark::State& state) {
  const auto f = Fields();
  char line[orv::kStageLineCapacity];
  for (auto _ : state) {
    const int n = std::snprintf(
        line, sizeof line,
        "%04u-%02u-%02u %02u:%02u:%02u.%03u pid=%lu tid=%lu [startup] run=%lu-%llu stage=%.160s elapsedMs=%llu\n",
        f.time.year, f.time.month, f.time.day, f.time.hour, f.time.minute, f.time.second, f.time.milliseconds,
        f.processId, f.threadId, f.processId, f.runStartTick, f.stage, f.nowTick - f.runStartTick);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BareSnprintf);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) nanoseconds_[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  void PrintRatios() const {
    const double bare = nanoseconds_.at("BM_BareSnprintf");
    for (const char* name : {"BM_RecordStageWithStalledWriter", "BM_RecordStageWithIdleQueue"}) {
      std::printf("%s / BM_BareSnprintf = %.2f (%.1f ns vs %.1f ns)\n", name, nanoseconds_.at(name) / bare,
                  nanoseconds_.at(name), bare);
    }
  }

 private:
  std::map<std::string, double> nanoseconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
