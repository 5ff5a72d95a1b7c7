#include "runner/diagnostics/diagnostic_queue.h"

#include "runner/diagnostics/diagnostic_lines.h"

#include <utility>

namespace orv {

DiagnosticQueue::DiagnosticQueue(Hooks hooks) : hooks_(std::move(hooks)) {}

void DiagnosticQueue::Notice(const char* text) noexcept {
  try {
    if (hooks_.notice) hooks_.notice(text);
  } catch (...) {
  }
}

void DiagnosticQueue::Enqueue(std::string_view line) noexcept {
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lines_.size() >= kCapacity) return;
    lines_.emplace_back(line);
    if (writerScheduled_) return;
    writerScheduled_ = true;
    if (!hooks_.submit()) {
      writerScheduled_ = false;
      lines_.clear();
      idle_.notify_all();
      Notice("[startup] diagnostic writer unavailable\n");
    }
  } catch (...) {
    Notice("[startup] diagnostic enqueue failed\n");
  }
}

void DiagnosticQueue::Drain() noexcept {
  for (;;) {
    std::string line;
    try {
      std::lock_guard<std::mutex> lock(mutex_);
      if (lines_.empty()) {
        writerScheduled_ = false;
        idle_.notify_all();
        return;
      }
      line = std::move(lines_.front());
      lines_.pop_front();
    } catch (...) {
      return;
    }
    try {
      hooks_.write(line);
    } catch (...) {
      Notice("[startup] diagnostic write failed\n");
    }
  }
}

bool DiagnosticQueue::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, timeout, [this] { return !writerScheduled_; });
}

size_t DiagnosticQueue::Pending() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_.size();
}

void QueueStageLine(DiagnosticQueue& queue, const StageLineFields& fields) noexcept {
  char line[kStageLineCapacity];
  const size_t length = FormatStageLine(line, sizeof line, fields);
  if (length == 0) return;
  queue.Enqueue(std::string_view(line, length));
}

}  // namespace orv
