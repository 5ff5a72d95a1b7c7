// Kernel log queue throughput: P producer threads and one consumer, against
// the same loop with the lock and the copies taken out. Prints figures only.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "runner/logging/kernel_log_ring.h"

namespace {

constexpr int kMessagesPerProducer = 200000;
constexpr char kMessage[] = "dns trace: query example.org type A answered in 12 ms";

// The loop without the queue: producers only count, the consumer only reads.
struct NoQueue {
  std::atomic<long long> pending{0};
  void Push(const char*, const char*) { pending.fetch_add(1, std::memory_order_relaxed); }
  bool Pop(char*, int, char*, int) {
    long long seen = pending.load(std::memory_order_relaxed);
    while (seen > 0) {
      if (pending.compare_exchange_weak(seen, seen - 1, std::memory_order_relaxed)) return true;
    }
    return false;
  }
};

struct Ring {
  std::unique_ptr<orv::KernelLogRing> ring = std::make_unique<orv::KernelLogRing>();
  Ring() { ring->Enable(true); }
  void Push(const char* level, const char* message) { ring->Push(level, message); }
  bool Pop(char* l, int lc, char* m, int mc) { return ring->Pop(l, lc, m, mc); }
};

// Messages handled per second (popped entries plus messages reported dropped).
struct Figures {
  double perSecond;
  double deliveredShare;  // popped entries / messages sent (the rest were dropped)
};

template <typename Queue>
Figures Throughput(int producers) {
  Queue queue;
  std::atomic<int> running{producers};
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < producers; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kMessagesPerProducer; ++i) queue.Push("INFO", kMessage);
      running.fetch_sub(1);
    });
  }
  long long popped = 0;
  char level[32], message[8192];
  for (;;) {
    const bool more = running.load() > 0;
    while (queue.Pop(level, sizeof level, message, sizeof message)) ++popped;
    if (!more) break;
  }
  for (auto& thread : threads) thread.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double sent = static_cast<double>(producers) * kMessagesPerProducer;
  return {sent / seconds, static_cast<double>(popped) / sent};
}

}  // namespace

int main() {
  std::printf("%-10s %16s %10s %18s %8s\n", "producers", "queue msg/s", "delivered", "bare loop msg/s", "ratio");
  for (int producers : {1, 2, 8}) {
    const Figures queue = Throughput<Ring>(producers);
    const Figures bare = Throughput<NoQueue>(producers);
    std::printf("%-10d %16.0f %9.1f%% %18.0f %8.3f\n", producers, queue.perSecond, queue.deliveredShare * 100,
                bare.perSecond, queue.perSecond / bare.perSecond);
  }
  return 0;
}
