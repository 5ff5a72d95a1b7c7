// The state-changing proxy exports never run their bodies at the same time.

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "native/proxy/proxy_exports.h"
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

}  // namespace
}  // namespace orv::proxy::test
