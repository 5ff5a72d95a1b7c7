#include "runner/logging/kernel_log_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace orv {
namespace {

struct Popped {
  bool any = false;
  std::string level, message;
};

Popped Pop(KernelLogRing& ring, int levelCapacity = 32, int messageCapacity = 8192) {
  std::vector<char> level(static_cast<size_t>(levelCapacity), '\x7f');
  std::vector<char> message(static_cast<size_t>(messageCapacity), '\x7f');
  Popped p;
  p.any = ring.Pop(level.data(), levelCapacity, message.data(), messageCapacity);
  if (p.any) {
    p.level = level.data();
    p.message = message.data();
  }
  return p;
}

// The ring is large; keep it off the test's stack.
std::unique_ptr<KernelLogRing> EnabledRing() {
  auto ring = std::make_unique<KernelLogRing>();
  ring->Enable(true);
  return ring;
}

TEST(KernelLogRing, WhileDisabledCallbacksAreDiscardedAndNotCountedAsDropped) {
  auto ring = std::make_unique<KernelLogRing>();
  for (int i = 0; i < 300; ++i) ring->Push("INFO", "ignored");
  EXPECT_FALSE(Pop(*ring).any);
  ring->Enable(true);
  EXPECT_FALSE(Pop(*ring).any);
}

TEST(KernelLogRing, AFullRingKeepsTheFirst256ThenReportsTheDropsOnce) {
  auto ring = EnabledRing();
  for (int i = 0; i < 300; ++i) ring->Push("DEBUG", ("m" + std::to_string(i)).c_str());
  for (int i = 0; i < 256; ++i) {
    const Popped p = Pop(*ring);
    ASSERT_TRUE(p.any) << i;
    EXPECT_EQ(p.level, "DEBUG");
    EXPECT_EQ(p.message, "m" + std::to_string(i));
  }
  const Popped report = Pop(*ring);
  ASSERT_TRUE(report.any);
  EXPECT_EQ(report.level, "WARN");
  EXPECT_EQ(report.message, "kernel log queue full: dropped 44 messages");
  EXPECT_FALSE(Pop(*ring).any);
}

TEST(KernelLogRing, TheDropReportWaitsForEveryEarlierEntryAndCoversLaterDrops) {
  auto ring = EnabledRing();
  for (int i = 0; i < 257; ++i) ring->Push("I", "x");  // one dropped
  EXPECT_EQ(Pop(*ring).message, "x");
  ring->Push("I", "after");                           // fits again
  ring->Push("I", "dropped too");                     // full again
  for (int i = 0; i < 255; ++i) EXPECT_EQ(Pop(*ring).message, "x");
  EXPECT_EQ(Pop(*ring).message, "after");
  EXPECT_EQ(Pop(*ring).message, "kernel log queue full: dropped 2 messages");
}

TEST(KernelLogRing, NullLevelIsInfoAndNullMessageIsEmptyAndLongLevelsAreCut) {
  auto ring = EnabledRing();
  ring->Push(nullptr, "m");
  ring->Push("L", nullptr);
  const std::string longLevel(40, 'v');
  ring->Push(longLevel.c_str(), "m");
  EXPECT_EQ(Pop(*ring).level, "INFO");
  EXPECT_EQ(Pop(*ring).message, "");
  EXPECT_EQ(Pop(*ring).level, std::string(31, 'v'));
}

TEST(KernelLogRing, MessagesUpTo8191BytesAreWholeAndLongerOnesEndInTheMark) {
  auto ring = EnabledRing();
  const std::string fits(8191, 'a');
  const std::string tooLong = std::string(8191, 'b') + "c";
  ring->Push("I", fits.c_str());
  ring->Push("I", tooLong.c_str());
  EXPECT_EQ(Pop(*ring).message, fits);
  const std::string cut = Pop(*ring).message;
  EXPECT_EQ(cut.size(), 8191u);
  EXPECT_EQ(cut, std::string(8179, 'b') + " [truncated]");
}

TEST(KernelLogRing, SmallBuffersGetTheStartAndTheEntryIsConsumedAnyway) {
  auto ring = EnabledRing();
  ring->Push("ERROR", "0123456789abcdefghij");
  ring->Push("I", "next");
  const Popped p = Pop(*ring, 3, 16);
  EXPECT_EQ(p.level, "ER");
  EXPECT_EQ(p.message, "0123456789abcde");
  EXPECT_EQ(Pop(*ring).message, "next");
}

TEST(KernelLogRing, BadBuffersReturnNothingAndConsumeNothing) {
  auto ring = EnabledRing();
  ring->Push("I", "kept");
  char level[8], message[8];
  EXPECT_FALSE(ring->Pop(nullptr, 8, message, 8));
  EXPECT_FALSE(ring->Pop(level, 8, nullptr, 8));
  EXPECT_FALSE(ring->Pop(level, 0, message, 8));
  EXPECT_FALSE(ring->Pop(level, 8, message, -1));
  EXPECT_EQ(Pop(*ring).message, "kept");
}

TEST(KernelLogRing, DisablingLosesEntriesAndTheDropCount) {
  auto ring = EnabledRing();
  for (int i = 0; i < 260; ++i) ring->Push("I", "x");
  ring->Enable(false);
  ring->Enable(true);
  EXPECT_FALSE(Pop(*ring).any);
  ring->Push("I", "fresh");
  EXPECT_EQ(Pop(*ring).message, "fresh");
  EXPECT_FALSE(Pop(*ring).any);
}

TEST(KernelLogRing, EightProducersAndOneConsumerSeeEveryMessageOnceInPerThreadOrder) {
  constexpr int kProducers = 8;
  constexpr int kPerProducer = 4000;
  auto ring = EnabledRing();
  // Producers reserve room before pushing, so the ring never has to drop and
  // every message must come out exactly once.
  std::atomic<int> outstanding{0};
  std::vector<std::thread> producers;
  for (int t = 0; t < kProducers; ++t) {
    producers.emplace_back([&, t] {
      const std::string level = "T" + std::to_string(t);
      for (int i = 0; i < kPerProducer; ++i) {
        int seen = outstanding.load();
        while (seen >= static_cast<int>(KernelLogRing::kEntries) ||
               !outstanding.compare_exchange_weak(seen, seen + 1)) {
          std::this_thread::yield();
          seen = outstanding.load();
        }
        ring->Push(level.c_str(), std::to_string(i).c_str());
      }
    });
  }
  std::vector<int> next(kProducers, 0);
  int received = 0;
  char level[32], message[64];
  while (received < kProducers * kPerProducer) {
    if (!ring->Pop(level, sizeof level, message, sizeof message)) {
      std::this_thread::yield();
      continue;
    }
    --outstanding;
    ASSERT_EQ(level[0], 'T') << level << " " << message;
    const int t = std::stoi(level + 1);
    ASSERT_EQ(std::stoi(message), next[t]) << "thread " << t;
    ++next[t];
    ++received;
  }
  for (auto& p : producers) p.join();
  EXPECT_FALSE(ring->Pop(level, sizeof level, message, sizeof message));
  for (int t = 0; t < kProducers; ++t) EXPECT_EQ(next[t], kPerProducer);
}

// Cuts fall before a character that would not fit whole, so the interface
// never receives a broken UTF-8 sequence.
TEST(KernelLogRing, LongMessagesAreCutAtAWholeCharacterBeforeTheMark) {
  auto ring = EnabledRing();
  const std::string euro = "\xe2\x82\xac";
  const std::string smile = "\xf0\x9f\x98\x80";
  // The 8179-byte limit falls on the second byte of each character.
  ring->Push("I", (std::string(8178, 'a') + euro + std::string(20, 'z')).c_str());
  ring->Push("I", (std::string(8177, 'a') + smile + std::string(20, 'z')).c_str());
  ring->Push("I", (std::string(8176, 'a') + euro + std::string(20, 'z')).c_str());  // fits exactly
  EXPECT_EQ(Pop(*ring).message, std::string(8178, 'a') + " [truncated]");
  EXPECT_EQ(Pop(*ring).message, std::string(8177, 'a') + " [truncated]");
  EXPECT_EQ(Pop(*ring).message, std::string(8176, 'a') + euro + " [truncated]");
}

TEST(KernelLogRing, SmallBuffersAndLongLevelsGetWholeCharactersOnly) {
  auto ring = EnabledRing();
  const std::string euro = "\xe2\x82\xac";
  const std::string smile = "\xf0\x9f\x98\x80";
  ring->Push("I", ("0123456789abc" + euro).c_str());
  ring->Push("I", ("0123456789ab" + smile).c_str());
  ring->Push("I", ("0123456789a" + smile).c_str());
  ring->Push((std::string(29, 'v') + euro).c_str(), "m");
  EXPECT_EQ(Pop(*ring, 32, 16).message, "0123456789abc");
  EXPECT_EQ(Pop(*ring, 32, 16).message, "0123456789ab");
  EXPECT_EQ(Pop(*ring, 32, 16).message, "0123456789a" + smile);
  EXPECT_EQ(Pop(*ring).level, std::string(29, 'v'));
}

TEST(KernelLogRing, TheDropReportIsCutToTheCallersBuffers) {
  auto ring = EnabledRing();
  for (int i = 0; i < 257; ++i) ring->Push("I", "x");
  for (int i = 0; i < 256; ++i) Pop(*ring);
  const Popped report = Pop(*ring, 3, 12);
  EXPECT_EQ(report.level, "WA");
  EXPECT_EQ(report.message, "kernel log ");
  EXPECT_FALSE(Pop(*ring).any);
}

TEST(KernelLogRing, Utf8PrefixLengthLeavesInvalidBytesToTheLimit) {
  EXPECT_EQ(Utf8PrefixLength("abc", 3, 3), 3u);
  EXPECT_EQ(Utf8PrefixLength("ab\xc3\xa9", 4, 3), 2u);
  EXPECT_EQ(Utf8PrefixLength("\x80\x80\x80\x80\x80", 5, 4), 4u);  // no lead byte in reach
  EXPECT_EQ(Utf8PrefixLength("\xe2\x82\xac", 3, 1), 0u);
}

}  // namespace
}  // namespace orv
