// The state-changing proxy exports never run their bodies at the same time.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "kilna/kilna_exports.h"
#include "native/proxy/proxy_state.h"
#include "tests/native/proxy/proxy_fixture.h"

namespace orv::proxy::test {
namespace {

using ProxyMutexTest = ProxyTest;

TEST_F(ProxyMutexTest, ExportsCalledFromSeveralThreadsNeverInterleave) {
  fake_.delayCalls(1);
  constexpr int kThreads = 4;
  constexpr int kRounds = 6;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int round = 0; round < kRounds; ++round) {
        EXPECT_EQ(OrvSetUserProxy(static_cast<unsigned>(8000 + t)), 0u);
        int conflict = 0;
        EXPECT_EQ(OrvReadEffectiveUserProxyConflict(&conflict), 0u);
        int restored = 0;
        EXPECT_EQ(OrvRestoreUserProxy(&restored), 0u);
      }
    });
  }
  for (auto& thread : threads) thread.join();

  // Every write belongs to the body that read just before it, on the same thread.
  const std::vector<OptionCall> calls = fake_.calls();
  ASSERT_GE(calls.size(), static_cast<std::size_t>(kThreads * kRounds * 3));
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].option == kQueryCall) continue;
    ASSERT_GT(i, 0u);
    EXPECT_EQ(calls[i].threadId, calls[i - 1].threadId) << "call " << i << " ran inside another thread's body";
  }
}

// While one export's body runs, a second caller waits until it has returned.
TEST_F(ProxyMutexTest, EachStateChangingExportHoldsTheMutexUntilItReturns) {
  struct Row {
    const char* name;
    std::function<DWORD()> call;
  };
  int ticket = 0;
  const Row rows[] = {
      {"begin", [&] {
         int restoreResult = 0;
         return OrvBeginUserProxyCleanup(&ticket, &restoreResult);
       }},
      {"verify", [&] {
         int clean = 0;
         return OrvVerifyUserProxyCleanup(ticket, &clean);
       }},
      {"finish", [&] { return OrvFinishUserProxyCleanup(ticket, 1); }},
      {"clear", [] { return OrvClearUserProxy(); }},
  };
  SetSettings(UserProxyAndPac());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fake_.clearCalls();
    fake_.delayCalls(100);
    std::atomic<bool> returned{false};
    std::thread first([&] {
      EXPECT_EQ(row.call(), 0u);
      returned = true;
    });
    while (fake_.calls().empty()) ::Sleep(1);  // the first body is under way, inside a slow call
    const bool free = ProxyMutex().try_lock();
    if (free) ProxyMutex().unlock();
    EXPECT_FALSE(free) << "the body runs without the proxy mutex";
    int conflict = 0;
    EXPECT_EQ(OrvReadEffectiveUserProxyConflict(&conflict), 0u);
    EXPECT_TRUE(returned) << "the second caller ran inside the first one's body";
    first.join();
    fake_.delayCalls(0);
  }
  EXPECT_GT(ticket, 0);
}

}  // namespace
}  // namespace orv::proxy::test
