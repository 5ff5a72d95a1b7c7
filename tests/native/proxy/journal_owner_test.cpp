// Who owns a journal entry: the process id together with its creation time,
// so an entry of an exited kilna.exe is taken over even once its id names a
// later process.

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "kilna/kilna_exports.h"
#include "native/common/unique_resource.h"
#include "native/proxy/applied_proxy.h"
#include "native/proxy/options_api.h"
#include "tests/native/proxy/proxy_fixture.h"

namespace orv::proxy::test {
namespace {

using JournalOwnerTest = ProxyTest;

TEST_F(JournalOwnerTest, AnOwnerRunsOnlyWithItsIdAndItsCreationTime) {
  const JournalOwner me = CurrentProcessOwner();
  ASSERT_NE(me.createdAt, 0u);
  EXPECT_TRUE(ProcessStillRunning(me));
  EXPECT_FALSE(ProcessStillRunning({me.processId, me.createdAt + 1})) << "an earlier process with this id";
  EXPECT_FALSE(ProcessStillRunning({me.processId, 0}));
  EXPECT_FALSE(ProcessStillRunning({0x7FFFFFFCu, me.createdAt})) << "no such process";
}

// The entry of an exited process whose id this process now has: taken over,
// and restore brings the user's settings back.
TEST_F(JournalOwnerTest, AnEntryOfAnEarlierProcessWithTheSameIdIsTakenOver) {
  SetSettings(UserProxyAndPac());
  const JournalOwner me = CurrentProcessOwner();
  platform().thisProcess = [me] { return JournalOwner{me.processId, me.createdAt - 10}; };
  ASSERT_EQ(OrvSetUserProxy(8080), 0u);
  ASSERT_EQ(fake_.options(), AppliedOptions(8080));

  platform().thisProcess = CurrentProcessOwner;
  platform().ownerRunning = ProcessStillRunning;
  int restored = -1;
  ASSERT_EQ(OrvRestoreUserProxy(&restored), 0u);
  EXPECT_EQ(restored, 1);
  EXPECT_EQ(Settings(), UserProxyAndPac());
}

// The journal's lock is the one every kilna.exe of the session names; a holder
// that never lets go costs a bounded wait and a clear answer, nothing else.
TEST_F(JournalOwnerTest, AHeldJournalLockTimesOutAndChangesNothing) {
  SetSettings(UserProxyAndPac());
  platform().journalLockWaitMs = 300;
  const UniqueHandle taken(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(taken);
  ASSERT_TRUE(done);
  // Another process's hold, as far as the lock can tell: a thread of ours
  // owning the mutex by its name.
  std::thread holder([&] {
    // Initial ownership is ignored for a mutex that exists already: waited for.
    const UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, L"Local\\KilnaProxyJournal"));
    const bool held = mutex && ::WaitForSingleObject(mutex.get(), INFINITE) == WAIT_OBJECT_0;
    ::SetEvent(taken.get());
    ::WaitForSingleObject(done.get(), INFINITE);
    if (held) ::ReleaseMutex(mutex.get());
  });
  ::WaitForSingleObject(taken.get(), INFINITE);
  fake_.clearCalls();
  EXPECT_EQ(OrvSetUserProxy(8080), static_cast<DWORD>(ERROR_TIMEOUT));
  int restored = -1;
  EXPECT_EQ(OrvRestoreUserProxy(&restored), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(OrvClearUserProxy(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(fake_.setCount(), 0u);
  EXPECT_EQ(Settings(), UserProxyAndPac());
  ::SetEvent(done.get());
  holder.join();

  EXPECT_EQ(OrvSetUserProxy(8080), 0u);  // free again
  EXPECT_EQ(OrvRestoreUserProxy(&restored), 0u);
  EXPECT_EQ(Settings(), UserProxyAndPac());
}

}  // namespace
}  // namespace orv::proxy::test
