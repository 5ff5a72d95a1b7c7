// A journal key the user may not write (its permissions changed by another
// program): whatever needs the journal to stay safe refuses and changes
// nothing; reading the conflict and clearing the proxy never depend on it.

#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include "kilna/kilna_exports.h"
#include "native/proxy/applied_proxy.h"
#include "tests/native/proxy/proxy_fixture.h"

namespace orv::proxy::test {
namespace {

// The journal's key readable but not writable while in scope.
class ReadOnlyJournalKey {
 public:
  ReadOnlyJournalKey() { Protect(L"D:P(A;;KRWD;;;WD)"); }
  ~ReadOnlyJournalKey() { Protect(L"D:P(A;;KA;;;WD)"); }
  ReadOnlyJournalKey(const ReadOnlyJournalKey&) = delete;
  ReadOnlyJournalKey& operator=(const ReadOnlyJournalKey&) = delete;

 private:
  static void Protect(const wchar_t* sddl) {
    UniqueRegKey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Kilna\\Proxy", 0, nullptr, 0, WRITE_DAC, nullptr,
                                key.put(), nullptr),
              ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    const LSTATUS set = ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
    ::LocalFree(descriptor);
    ASSERT_EQ(set, ERROR_SUCCESS);
  }
};

using UnwritableJournalTest = ProxyTest;

TEST_F(UnwritableJournalTest, ASetThatCannotBeJournaledChangesNothing) {
  SetSettings(UserProxyAndPac());
  const ReadOnlyJournalKey readOnly;
  EXPECT_EQ(OrvSetUserProxy(8080), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Settings(), UserProxyAndPac());
  EXPECT_FALSE(JournalLeft());
}

// The proxy of a kilna.exe that died, with a journal nobody can update: the
// conflict is still read and the clear still gives a direct connection,
// saying the journal stayed.
TEST_F(UnwritableJournalTest, ConflictAndClearStillWorkAndClearSaysTheJournalStayed) {
  SetSettings(UserProxyAndPac());
  Start(2);
  ASSERT_EQ(As(2, [] { return OrvSetUserProxy(8080); }), 0u);
  Kill(2);
  const auto journal = ReadJournalBytes();
  {
    const ReadOnlyJournalKey readOnly;
    int conflict = -1;
    EXPECT_EQ(OrvReadEffectiveUserProxyConflict(&conflict), 0u);
    EXPECT_EQ(conflict, 0);  // ours, taken over for this call
    fake_.clearCalls();
    int restored = -1;
    EXPECT_EQ(OrvRestoreUserProxy(&restored), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(fake_.setCount(), 0u) << "a restore that could not be journaled wrote to the settings";
    EXPECT_EQ(fake_.options(), AppliedOptions(8080));

    EXPECT_EQ(OrvClearUserProxy(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(fake_.options(), (ProxyOptions{1, u"", u"*.corp;<local>", u""}));
    EXPECT_FALSE(RawValueIsOn(ReadRaw(kSlotProxyEnable)));
    EXPECT_EQ(ReadJournalBytes(), journal);
  }
  // Writable again: the next call finds nothing of ours in effect and
  // removes the journal.
  int conflict = -1;
  EXPECT_EQ(OrvReadEffectiveUserProxyConflict(&conflict), 0u);
  EXPECT_FALSE(JournalLeft());
  EXPECT_EQ(fake_.options(), (ProxyOptions{1, u"", u"*.corp;<local>", u""}));
}

}  // namespace
}  // namespace orv::proxy::test
