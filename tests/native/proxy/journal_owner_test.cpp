// Who owns a journal entry: the process id together with its creation time,
// so an entry of an exited kilna.exe is taken over even once its id names a
// later process.

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "kilna/kilna_exports.h"
#include "native/common/unique_resource.h"
#include "native/proxy/applied_proxy.h"
#include "native/proxy/journal_lock.h"
#include "native/proxy/proxy_platform.h"
#include "tests/native/proxy/proxy_fixture.h"
#include "tests/support/process.h"

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
    const std::wstring name = JournalLockNameFor(platform().userToken());
    const UniqueHandle mutex(::CreateMutexExW(nullptr, name.c_str(), 0, SYNCHRONIZE | MUTEX_MODIFY_STATE));
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

// An elevated kilna.exe may create the lock first: its descriptor must still
// let the user's plain processes wait on it. (Wine keeps no integrity label
// on the mutex, so the medium label is not read back here.)
TEST_F(JournalOwnerTest, TheLockLetsEveryProcessOfTheUserInWhoeverCreatedIt) {
  const JournalLock lock(platform().userToken(), 1000);
  ASSERT_EQ(lock.error(), static_cast<DWORD>(ERROR_SUCCESS));
  const std::wstring name = JournalLockNameFor(platform().userToken());
  ASSERT_EQ(name.rfind(L"Global\\KilnaProxyJournal-S-1-", 0), 0u) << orv::test::Narrow(name);
  const UniqueHandle mutex(::OpenMutexW(READ_CONTROL, FALSE, name.c_str()));
  ASSERT_TRUE(mutex);
  UniqueSecurityDescriptor descriptor;
  ASSERT_EQ(::GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, descriptor.put()),
            static_cast<DWORD>(ERROR_SUCCESS));
  UniqueLocal<wchar_t*> sddl;
  ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.get(), SDDL_REVISION_1,
                                                                     DACL_SECURITY_INFORMATION, sddl.put(), nullptr));
  const std::wstring text = sddl.get();
  const std::wstring user = name.substr(name.find(L'-') + 1);
  EXPECT_NE(text.find(L";;;" + user + L")"), std::wstring::npos) << orv::test::Narrow(text);
}

}  // namespace
}  // namespace orv::proxy::test
