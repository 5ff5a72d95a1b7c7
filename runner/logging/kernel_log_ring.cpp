#include "runner/logging/kernel_log_ring.h"

#include <cstdio>
#include <cstring>

namespace orv {
namespace {

constexpr char kTruncatedMark[] = " [truncated]";

}  // namespace

void KernelLogRing::Push(const char* level, const char* message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!enabled_) return;
  if (count_ == kEntries) {
    ++dropped_;
    return;
  }
  Entry& slot = ring_[(head_ + count_) % kEntries];
  std::snprintf(slot.level, sizeof slot.level, "%s", level != nullptr ? level : "INFO");
  const int length = std::snprintf(slot.message, sizeof slot.message, "%s", message != nullptr ? message : "");
  if (length >= static_cast<int>(sizeof slot.message)) {
    constexpr size_t kMarkLength = sizeof kTruncatedMark - 1;
    std::memcpy(slot.message + sizeof slot.message - 1 - kMarkLength, kTruncatedMark, sizeof kTruncatedMark);
  }
  ++count_;
}

void KernelLogRing::Enable(bool enabled) {
  std::lock_guard<std::mutex> lock(mutex_);
  enabled_ = enabled;
  if (!enabled) {
    head_ = 0;
    count_ = 0;
    dropped_ = 0;
  }
}

bool KernelLogRing::Pop(char* levelOut, int levelCapacity, char* messageOut, int messageCapacity) {
  if (levelOut == nullptr || messageOut == nullptr || levelCapacity < 1 || messageCapacity < 1) return false;
  const auto levelSize = static_cast<size_t>(levelCapacity);
  const auto messageSize = static_cast<size_t>(messageCapacity);
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ > 0) {
    const Entry& entry = ring_[head_];
    std::snprintf(levelOut, levelSize, "%s", entry.level);
    std::snprintf(messageOut, messageSize, "%s", entry.message);
    head_ = (head_ + 1) % kEntries;
    --count_;
    return true;
  }
  if (dropped_ > 0) {
    std::snprintf(levelOut, levelSize, "%s", "WARN");
    std::snprintf(messageOut, messageSize, "kernel log queue full: dropped %llu messages",
                  static_cast<unsigned long long>(dropped_));
    dropped_ = 0;
    return true;
  }
  return false;
}

}  // namespace orv
