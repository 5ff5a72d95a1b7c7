#include "runner/diagnostics/diagnostic_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "runner/diagnostics/diagnostic_lines.h"

namespace orv {
namespace {

// A writer that runs only when the test lets it.
struct HeldBackWriter {
  int submissions = 0;
  bool acceptSubmission = true;
  std::vector<std::string> written;
  std::vector<std::string> notices;
  std::string throwOn;

  DiagnosticQueue::Hooks Hooks() {
    return {
        [this] {
          ++submissions;
          return acceptSubmission;
        },
        [this](const std::string& line) {
          if (!throwOn.empty() && line == throwOn) throw std::runtime_error("disk");
          written.push_back(line);
        },
        [this](const char* text) { notices.emplace_back(text); },
    };
  }
};

TEST(DiagnosticQueue, KeepsTheFirst256LinesInOrderWhileTheWriterIsHeldBack) {
  HeldBackWriter writer;
  DiagnosticQueue queue(writer.Hooks());
  for (int i = 0; i < 300; ++i) queue.Enqueue("line " + std::to_string(i) + "\n");
  EXPECT_EQ(writer.submissions, 1);
  EXPECT_EQ(queue.Pending(), DiagnosticQueue::kCapacity);

  queue.Drain();
  ASSERT_EQ(writer.written.size(), 256u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(writer.written[i], "line " + std::to_string(i) + "\n");
  EXPECT_TRUE(writer.notices.empty());
  EXPECT_TRUE(queue.WaitIdle(std::chrono::milliseconds(0)));
}

TEST(DiagnosticQueue, AfterADrainTheNextLineSchedulesANewWriter) {
  HeldBackWriter writer;
  DiagnosticQueue queue(writer.Hooks());
  queue.Enqueue("a\n");
  queue.Enqueue("b\n");
  EXPECT_EQ(writer.submissions, 1);
  queue.Drain();
  queue.Enqueue("c\n");
  EXPECT_EQ(writer.submissions, 2);
  queue.Drain();
  EXPECT_EQ(writer.written, (std::vector<std::string>{"a\n", "b\n", "c\n"}));
}

TEST(DiagnosticQueue, FailedSubmissionDiscardsQueuedLinesAndTriesAgainNextTime) {
  HeldBackWriter writer;
  writer.acceptSubmission = false;
  DiagnosticQueue queue(writer.Hooks());
  queue.Enqueue("lost\n");
  EXPECT_EQ(queue.Pending(), 0u);
  ASSERT_EQ(writer.notices.size(), 1u);
  EXPECT_EQ(writer.notices[0], "[startup] diagnostic writer unavailable\n");

  writer.acceptSubmission = true;
  queue.Enqueue("kept\n");
  EXPECT_EQ(writer.submissions, 2);
  queue.Drain();
  EXPECT_EQ(writer.written, std::vector<std::string>{"kept\n"});
}

TEST(DiagnosticQueue, AFailingWriteIsNoticedAndTheWriterGoesOn) {
  HeldBackWriter writer;
  writer.throwOn = "2\n";
  DiagnosticQueue queue(writer.Hooks());
  for (const char* line : {"1\n", "2\n", "3\n"}) queue.Enqueue(line);
  queue.Drain();
  EXPECT_EQ(writer.written, (std::vector<std::string>{"1\n", "3\n"}));
  EXPECT_EQ(writer.notices, std::vector<std::string>{"[startup] diagnostic write failed\n"});
}

TEST(DiagnosticQueue, LinesFromManyThreadsReachARealWorkerExactlyOnceInOrder) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 64;  // never more than the capacity in flight
  std::mutex writtenMutex;
  std::vector<std::string> written;
  std::vector<std::thread> workers;
  std::mutex workersMutex;
  DiagnosticQueue* self = nullptr;
  DiagnosticQueue queue({
      [&] {
        std::lock_guard<std::mutex> lock(workersMutex);
        workers.emplace_back([&] { self->Drain(); });
        return true;
      },
      [&](const std::string& line) {
        std::lock_guard<std::mutex> lock(writtenMutex);
        written.push_back(line);
      },
      [](const char*) {},
  });
  self = &queue;

  std::vector<std::thread> producers;
  for (int t = 0; t < kThreads; ++t) {
    producers.emplace_back([&queue, t] {
      for (int i = 0; i < kPerThread; ++i) queue.Enqueue(std::to_string(t) + ":" + std::to_string(i));
    });
  }
  for (auto& p : producers) p.join();
  ASSERT_TRUE(queue.WaitIdle(std::chrono::seconds(10)));
  {
    std::lock_guard<std::mutex> lock(workersMutex);
    for (auto& w : workers) w.join();
  }
  ASSERT_EQ(written.size(), static_cast<size_t>(kThreads * kPerThread));
  std::vector<int> next(kThreads, 0);
  for (const auto& line : written) {
    const int t = line[0] - '0';
    EXPECT_EQ(line, std::to_string(t) + ":" + std::to_string(next[t]));
    ++next[t];
  }
}

TEST(DiagnosticQueue, QueueStageLineQueuesTheFormattedLine) {
  HeldBackWriter writer;
  DiagnosticQueue queue(writer.Hooks());
  StageLineFields fields;
  fields.time = {2026, 1, 2, 3, 4, 5, 6};
  fields.processId = 1;
  fields.threadId = 2;
  fields.runStartTick = 10;
  fields.nowTick = 10;
  fields.stage = "runner.entry";
  QueueStageLine(queue, fields);
  queue.Drain();
  EXPECT_EQ(writer.written,
            std::vector<std::string>{
                "2026-01-02 03:04:05.006 pid=1 tid=2 [startup] run=1-10 stage=runner.entry elapsedMs=0\n"});
}

}  // namespace
}  // namespace orv
