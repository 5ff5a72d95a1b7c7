// Kernel log queue: the product queue against two queues written here, a
// plain mutex ring with the same rules that copies with memcpy (the baseline
// it must match) and, for reference, a lock-free bounded ring (which the
// product's one-mutex rules do not allow). Prints figures only:
//   - uncontended push + pop of a 53-byte message, ns per pair;
//   - delivered messages per second (popped entries only) with 1, 2 and 8
//     producers and one consumer, at a rate the consumer keeps up with and at
//     a flood; drops are printed separately and never counted as delivered.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "runner/logging/kernel_log_ring.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kMessage[] = "dns trace: query example.org type A answered in 12 ms";  // 53 bytes
constexpr char kLevel[] = "INFO";
constexpr size_t kEntries = 256;
constexpr size_t kLevelBytes = 32;
constexpr size_t kMessageBytes = 8192;
constexpr char kMark[] = " [truncated]";
constexpr size_t kMarkLength = sizeof kMark - 1;

// Copies at most capacity - 1 bytes and a NUL.
void CopyOut(char* out, size_t capacity, const char* text, size_t length) {
  const size_t kept = std::min(length, capacity - 1);
  std::memcpy(out, text, kept);
  out[kept] = '\0';
}

int WriteDropReport(char* level, int levelCapacity, char* message, int messageCapacity, std::uint64_t dropped) {
  CopyOut(level, static_cast<size_t>(levelCapacity), "WARN", 4);
  std::snprintf(message, static_cast<size_t>(messageCapacity), "kernel log queue full: dropped %llu messages",
                static_cast<unsigned long long>(dropped));
  return 1;
}

struct Slot {
  char level[kLevelBytes];
  char message[kMessageBytes];
};

// Stores a message cut to its slot, with the mark when it was cut.
void StoreMessage(Slot& slot, const char* level, const char* message) {
  const size_t levelLength = ::strnlen(level, kLevelBytes - 1);
  std::memcpy(slot.level, level, levelLength);
  slot.level[levelLength] = '\0';
  size_t length = ::strnlen(message, kMessageBytes);
  if (length == kMessageBytes) {
    length = kMessageBytes - 1 - kMarkLength;
    std::memcpy(slot.message, message, length);
    std::memcpy(slot.message + length, kMark, kMarkLength);
    length += kMarkLength;
  } else {
    std::memcpy(slot.message, message, length);
  }
  slot.message[length] = '\0';
}

// The baseline: the product's rules (one mutex over everything, drops
// reported once the ring is empty, cleared on disable), everything inside
// the lock, memcpy for the copies.
class MutexRing {
 public:
  MutexRing() : slots_(new Slot[kEntries]) {}
  void Enable(bool enabled) {
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_ = enabled;
    if (!enabled) head_ = count_ = dropped_ = 0;
  }
  void Push(const char* level, const char* message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!enabled_) return;
    if (count_ == kEntries) {
      ++dropped_;
      return;
    }
    StoreMessage(slots_[(head_ + count_) % kEntries], level, message);
    ++count_;
  }
  int Pop(char* level, int levelCapacity, char* message, int messageCapacity) {
    if (level == nullptr || message == nullptr || levelCapacity < 1 || messageCapacity < 1) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ > 0) {
      const Slot& slot = slots_[head_];
      CopyOut(level, static_cast<size_t>(levelCapacity), slot.level, std::strlen(slot.level));
      CopyOut(message, static_cast<size_t>(messageCapacity), slot.message, std::strlen(slot.message));
      head_ = (head_ + 1) % kEntries;
      --count_;
      return 1;
    }
    if (dropped_ == 0) return 0;
    const std::uint64_t dropped = dropped_;
    dropped_ = 0;
    return WriteDropReport(level, levelCapacity, message, messageCapacity, dropped);
  }

 private:
  std::mutex mutex_;
  bool enabled_ = false;
  std::unique_ptr<Slot[]> slots_;
  size_t head_ = 0, count_ = 0;
  std::uint64_t dropped_ = 0;
};

// The reference: a bounded multi-producer ring with a sequence number per
// slot (no lock); drops are counted atomically and reported when it is empty.
class LockFreeRing {
 public:
  LockFreeRing() : slots_(new SequencedSlot[kEntries]) {
    for (size_t i = 0; i < kEntries; ++i) slots_[i].sequence.store(i, std::memory_order_relaxed);
  }
  void Enable(bool enabled) { enabled_.store(enabled); }
  void Push(const char* level, const char* message) {
    if (!enabled_.load(std::memory_order_relaxed)) return;
    size_t position = enqueue_.load(std::memory_order_relaxed);
    SequencedSlot* slot;
    for (;;) {
      slot = &slots_[position % kEntries];
      const size_t sequence = slot->sequence.load(std::memory_order_acquire);
      const auto difference = static_cast<std::intptr_t>(sequence) - static_cast<std::intptr_t>(position);
      if (difference == 0) {
        if (enqueue_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) break;
      } else if (difference < 0) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return;
      } else {
        position = enqueue_.load(std::memory_order_relaxed);
      }
    }
    StoreMessage(slot->slot, level, message);
    slot->sequence.store(position + 1, std::memory_order_release);
  }
  int Pop(char* level, int levelCapacity, char* message, int messageCapacity) {
    if (level == nullptr || message == nullptr || levelCapacity < 1 || messageCapacity < 1) return 0;
    size_t position = dequeue_.load(std::memory_order_relaxed);
    SequencedSlot* slot;
    for (;;) {
      slot = &slots_[position % kEntries];
      const size_t sequence = slot->sequence.load(std::memory_order_acquire);
      const auto difference = static_cast<std::intptr_t>(sequence) - static_cast<std::intptr_t>(position + 1);
      if (difference == 0) {
        if (dequeue_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) break;
      } else if (difference < 0) {
        const std::uint64_t dropped = dropped_.exchange(0, std::memory_order_relaxed);
        if (dropped == 0) return 0;
        return WriteDropReport(level, levelCapacity, message, messageCapacity, dropped);
      } else {
        position = dequeue_.load(std::memory_order_relaxed);
      }
    }
    CopyOut(level, static_cast<size_t>(levelCapacity), slot->slot.level, std::strlen(slot->slot.level));
    CopyOut(message, static_cast<size_t>(messageCapacity), slot->slot.message, std::strlen(slot->slot.message));
    slot->sequence.store(position + kEntries, std::memory_order_release);
    return 1;
  }

 private:
  struct SequencedSlot {
    std::atomic<size_t> sequence;
    Slot slot;
  };
  std::unique_ptr<SequencedSlot[]> slots_;
  alignas(64) std::atomic<size_t> enqueue_{0};
  alignas(64) std::atomic<size_t> dequeue_{0};
  alignas(64) std::atomic<std::uint64_t> dropped_{0};
  std::atomic<bool> enabled_{false};
};

class ProductRing {
 public:
  void Enable(bool enabled) { ring_->Enable(enabled); }
  void Push(const char* level, const char* message) { ring_->Push(level, message); }
  int Pop(char* level, int levelCapacity, char* message, int messageCapacity) {
    return ring_->Pop(level, levelCapacity, message, messageCapacity) ? 1 : 0;
  }

 private:
  std::unique_ptr<orv::KernelLogRing> ring_ = std::make_unique<orv::KernelLogRing>();
};

template <typename Queue>
double UncontendedNsPerPair() {
  constexpr int kPairs = 2000000;
  Queue queue;
  queue.Enable(true);
  char level[32], message[256];
  long long popped = 0;
  const auto start = Clock::now();
  for (int i = 0; i < kPairs; ++i) {
    queue.Push(kLevel, kMessage);
    popped += queue.Pop(level, sizeof level, message, sizeof message);
  }
  const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  if (popped != kPairs) std::fprintf(stderr, "lost messages: %lld of %d\n", popped, kPairs);
  return ns / kPairs;
}

struct Flow {
  double deliveredPerSecond;
  double droppedPerSecond;
};

// Producers push as fast as they can, so the rows show what one consumer
// drains and what the queue drops. (A paced load below every queue's reach
// would only read back its own rate.)
constexpr auto kRunTime = std::chrono::milliseconds(400);

template <typename Queue>
Flow RunFlow(int producers) {
  Queue queue;
  queue.Enable(true);
  std::atomic<bool> stop{false};
  std::atomic<int> running{producers};
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < producers; ++t) {
    threads.emplace_back([&] {
      while (!stop.load(std::memory_order_relaxed)) queue.Push(kLevel, kMessage);
      running.fetch_sub(1);
    });
  }
  long long delivered = 0;
  unsigned long long dropped = 0;
  char level[32], message[8192];
  const auto deadline = start + kRunTime;
  for (;;) {
    const bool producing = running.load() > 0;
    if (producing && Clock::now() >= deadline) stop.store(true);
    const int got = queue.Pop(level, sizeof level, message, sizeof message);
    if (got == 0) {
      if (!producing) break;
      std::this_thread::yield();
      continue;
    }
    if (std::strcmp(level, "WARN") == 0) {
      dropped += std::strtoull(message + std::strlen("kernel log queue full: dropped "), nullptr, 10);
    } else {
      ++delivered;
    }
  }
  for (auto& thread : threads) thread.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return {delivered / seconds, dropped / seconds};
}

// The median of several runs: the machine is shared, single runs are noisy.
template <typename Queue>
Flow MedianFlow(int producers) {
  constexpr int kRuns = 3;
  std::vector<Flow> runs;
  for (int i = 0; i < kRuns; ++i) runs.push_back(RunFlow<Queue>(producers));
  std::sort(runs.begin(), runs.end(),
            [](const Flow& a, const Flow& b) { return a.deliveredPerSecond < b.deliveredPerSecond; });
  return runs[kRuns / 2];
}

template <typename Queue>
double MedianUncontended() {
  std::vector<double> runs;
  for (int i = 0; i < 5; ++i) runs.push_back(UncontendedNsPerPair<Queue>());
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

}  // namespace

int main() {
  const double product = MedianUncontended<ProductRing>();
  const double baseline = MedianUncontended<MutexRing>();
  const double lockFree = MedianUncontended<LockFreeRing>();
  std::printf("uncontended push + pop, 53-byte message (ns per pair)\n");
  std::printf("  product %.1f  mutex baseline %.1f  lock-free %.1f\n", product, baseline, lockFree);
  std::printf("  baseline/product %.3f (goal >= 1.0)  product/lock-free %.3f (goal <= 2.0)\n\n", baseline / product,
              product / lockFree);

  std::printf("flooding producers: delivered messages per second, one consumer (drops per second in brackets)\n");
  std::printf("%-6s %24s %24s %24s %10s %10s\n", "prod.", "product", "mutex baseline", "lock-free", "prod/base",
              "prod/lf");
  for (const int producers : {1, 2, 8}) {
    const Flow p = MedianFlow<ProductRing>(producers);
    const Flow b = MedianFlow<MutexRing>(producers);
    const Flow l = MedianFlow<LockFreeRing>(producers);
    std::printf("%-6d %12.0f (%9.0f) %12.0f (%9.0f) %12.0f (%9.0f) %10.3f %10.3f\n", producers, p.deliveredPerSecond,
                p.droppedPerSecond, b.deliveredPerSecond, b.droppedPerSecond, l.deliveredPerSecond,
                l.droppedPerSecond, p.deliveredPerSecond / b.deliveredPerSecond,
                p.deliveredPerSecond / l.deliveredPerSecond);
  }
  return 0;
}
