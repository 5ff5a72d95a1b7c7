#pragma once
// The bounded queue between the threads that record diagnostic lines and the
// single background writer. Portable: the platform supplies how a writer is
// scheduled, how a line is written and where failure notices go.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace orv {

struct StageLineFields;

class DiagnosticQueue {
 public:
  static constexpr size_t kCapacity = 256;

  struct Hooks {
    // Schedules one call of Drain() on a worker; false if it could not.
    std::function<bool()> submit;
    // Writes one finished line; may throw.
    std::function<void(const std::string&)> write;
    // A failure notice for the debugger output.
    std::function<void(const char*)> notice;
  };

  explicit DiagnosticQueue(Hooks hooks);
  DiagnosticQueue(const DiagnosticQueue&) = delete;
  DiagnosticQueue& operator=(const DiagnosticQueue&) = delete;

  // Never throws and never waits for the writer. A full queue drops the line.
  void Enqueue(std::string_view line) noexcept;

  // The worker body: writes lines in queue order until the queue is empty.
  void Drain() noexcept;

  // Waits until no writer is scheduled (every queued line written or dropped).
  [[nodiscard]] bool WaitIdle(std::chrono::milliseconds timeout);

  size_t Pending();

 private:
  void Notice(const char* text) noexcept;

  Hooks hooks_;
  std::mutex mutex_;
  std::condition_variable idle_;
  std::deque<std::string> lines_;
  bool writerScheduled_ = false;
};

// Formats a stage line on the stack and queues a copy: all a recording thread
// ever pays.
void QueueStageLine(DiagnosticQueue& queue, const StageLineFields& fields) noexcept;

}  // namespace orv
