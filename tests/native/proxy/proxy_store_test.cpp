// The proxy store and the read export against the fake options and a real
// registry hive.

#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "kilna/kilna_exports.h"
#include "native/proxy/proxy_store.h"
#include "tests/native/proxy/proxy_fixture.h"

namespace orv::proxy::test {
namespace {

using ProxyStoreTest = ProxyTest;

TEST_F(ProxyStoreTest, SnapshotHoldsTheOptionsAndTheValuesExactlyAsStored) {
  ProxySnapshot user = UserProxyAndPac();
  RawValue junkAfterNul;
  junkAfterNul.present = true;
  junkAfterNul.type = kRegExpandSz;
  junkAfterNul.data = {'h', 0, 0, 0, 'x', 0};
  user.raw[kSlotAutoConfigUrl] = junkAfterNul;
  RawValue emptyBinary;
  emptyBinary.present = true;
  emptyBinary.type = kRegBinary;
  user.raw[kSlotProxyOverride] = emptyBinary;
  SetSettings(user);

  ProxySnapshot read;
  ASSERT_EQ(store().ReadSnapshot(read), 0u);
  EXPECT_EQ(read, user);
  EXPECT_EQ(read.raw[kSlotAutoConfigUrl].data.size(), 6u);
  EXPECT_TRUE(read.raw[kSlotProxyOverride].present);
  EXPECT_TRUE(read.raw[kSlotProxyOverride].data.empty());
}

TEST_F(ProxyStoreTest, AMissingKeyReadsAsFourAbsentSlots) {
  fake_.setOptions(ProxyOptions{3, u"p:1"});
  DeleteInternetSettingsKey();
  ProxySnapshot read;
  read.raw[0] = DwordValue(7);
  ASSERT_EQ(store().ReadSnapshot(read), 0u);
  EXPECT_EQ(read.options, (ProxyOptions{3, u"p:1"}));
  for (const RawValue& value : read.raw) EXPECT_FALSE(value.present);
}

TEST_F(ProxyStoreTest, AValueAboveOneMebibyteIsRefusedWith13) {
  RawValue big;
  big.present = true;
  big.type = kRegBinary;
  big.data.assign(0x100000, 0x41);
  WriteRaw(kSlotProxyServer, big);
  ProxySnapshot read;
  ASSERT_EQ(store().ReadSnapshot(read), 0u);
  EXPECT_EQ(read.raw[kSlotProxyServer], big);

  big.data.push_back(0x41);
  WriteRaw(kSlotProxyServer, big);
  EXPECT_EQ(store().ReadSnapshot(read), static_cast<DWORD>(ERROR_INVALID_DATA));
}

TEST_F(ProxyStoreTest, OptionFailuresArePassedOnAndSilentFailuresAreNotSuccess) {
  fake_.failCall(kQueryCall, ERROR_INTERNET_INTERNAL_ERROR);
  ProxyOptions options;
  EXPECT_EQ(store().ReadOptions(options), static_cast<DWORD>(ERROR_INTERNET_INTERNAL_ERROR));
  fake_.failCall(kQueryCall, 0);
  EXPECT_EQ(store().ReadOptions(options), static_cast<DWORD>(ERROR_INTERNAL_ERROR));

  fake_.failCall(INTERNET_OPTION_SETTINGS_CHANGED, ERROR_ACCESS_DENIED);
  EXPECT_EQ(store().WriteOptions(ProxyOptions{3, u"p:1"}), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  fake_.failCall(INTERNET_OPTION_REFRESH, 0);
  EXPECT_EQ(store().Refresh(), static_cast<DWORD>(ERROR_INTERNAL_ERROR));
}

TEST_F(ProxyStoreTest, FlagsAreReadAsTheUserChoseThemAndWrittenAsInEffect) {
  // Detection failed: the flags in effect lost the auto-detect bit.
  fake_.setOptions(ProxyOptions{1 | kProxyTypeAutoDetect, u"", u"<local>"});
  fake_.failAutoDetection();
  ASSERT_EQ(fake_.flagsInEffect(), 1u);
  ProxyOptions read;
  ASSERT_EQ(store().ReadOptions(read), 0u);
  EXPECT_EQ(read, (ProxyOptions{1 | kProxyTypeAutoDetect, u"", u"<local>"}));
  EXPECT_EQ(fake_.calls().size(), 1u);

  // The fake refuses a set of the user's flags: only the flags in effect are
  // written, and that sets both.
  ASSERT_EQ(store().WriteOptions(ProxyOptions{1 | kProxyTypeAutoDetect, u"", u"<local>"}), 0u);
  EXPECT_EQ(fake_.flagsInEffect(), 1u | kProxyTypeAutoDetect);

  // A WinINet without the user's flags is asked again for those in effect.
  fake_.failAutoDetection();
  fake_.forgetUserFlags();
  fake_.clearCalls();
  ASSERT_EQ(store().ReadOptions(read), 0u);
  EXPECT_EQ(read, (ProxyOptions{1, u"", u"<local>"}));
  EXPECT_EQ(fake_.calls().size(), 2u);
}

TEST_F(ProxyStoreTest, WithoutWinInetEveryExportAnswersWhyAndChangesNothing) {
  SetSettings(UserProxyAndPac());
  const std::pair<HMODULE, DWORD> rows[] = {{nullptr, ERROR_MOD_NOT_FOUND},
                                            {::GetModuleHandleW(L"kernel32.dll"), ERROR_PROC_NOT_FOUND}};
  for (const auto& [module, error] : rows) {
    SCOPED_TRACE(error);
    fake_.clearCalls();
    platform().options = ResolveOptionsApi(module);
    wchar_t* json = nullptr;
    int out = -1;
    int restoreResult = -1;
    EXPECT_EQ(OrvReadUserProxy(&json), error);
    EXPECT_EQ(json, nullptr);
    EXPECT_EQ(OrvSetUserProxy(8080), error);
    EXPECT_EQ(OrvClearUserProxy(), error);
    EXPECT_EQ(OrvReadEffectiveUserProxyConflict(&out), error);
    EXPECT_EQ(OrvBeginUserProxyCleanup(&out, &restoreResult), error);
    EXPECT_EQ(out, 0);
    EXPECT_TRUE(fake_.calls().empty());
    EXPECT_EQ(ReadAllRaw(), UserProxyAndPac().raw);
    platform().options = FakeWinInetOptions::Api();
    EXPECT_EQ(Settings(), UserProxyAndPac());
    int restored = -1;
    EXPECT_EQ(OrvRestoreUserProxy(&restored), 0u);
    EXPECT_EQ(restored, 0);  // the failed set saved nothing
  }
}

TEST_F(ProxyStoreTest, WinInetIsLoadedFromTheSystemFolderWithBothCalls) {
  const PerConnectionOptionsApi& api = WinInetOptionsApi();
  const HMODULE wininet = ::GetModuleHandleW(L"wininet.dll");
  ASSERT_NE(wininet, nullptr);
  wchar_t loaded[MAX_PATH] = {};
  wchar_t system[MAX_PATH] = {};
  ASSERT_NE(::GetModuleFileNameW(wininet, loaded, MAX_PATH), 0u);
  ASSERT_NE(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  EXPECT_EQ(::lstrcmpiW(loaded, (std::wstring(system) + L"\\wininet.dll").c_str()), 0);
  EXPECT_EQ(reinterpret_cast<void*>(api.queryOption),
            reinterpret_cast<void*>(::GetProcAddress(wininet, "InternetQueryOptionW")));
  EXPECT_EQ(reinterpret_cast<void*>(api.setOption),
            reinterpret_cast<void*>(::GetProcAddress(wininet, "InternetSetOptionW")));
}

TEST_F(ProxyStoreTest, WriteSendsTheOptionsThenSettingsChangedThenRefreshAndStopsAtTheFirstFailure) {
  ASSERT_EQ(store().WriteOptions(ProxyOptions{3, u"p:1", u"<local>"}), 0u);
  std::vector<DWORD> options;
  for (const auto& call : fake_.calls()) options.push_back(call.option);
  EXPECT_EQ(options, (std::vector<DWORD>{INTERNET_OPTION_PER_CONNECTION_OPTION, INTERNET_OPTION_SETTINGS_CHANGED,
                                         INTERNET_OPTION_REFRESH}));
  EXPECT_EQ(fake_.options(), (ProxyOptions{3, u"p:1", u"<local>"}));

  fake_.clearCalls();
  fake_.failCall(INTERNET_OPTION_PER_CONNECTION_OPTION, ERROR_INTERNET_BAD_OPTION_LENGTH);
  EXPECT_EQ(store().WriteOptions(ProxyOptions{1}), static_cast<DWORD>(ERROR_INTERNET_BAD_OPTION_LENGTH));
  EXPECT_EQ(fake_.setCount(), 1u);
}

TEST_F(ProxyStoreTest, CompareAndSetWritesOnlyWhereTheRegistryStillHoldsTheExpectedValues) {
  const RawSlots before = UserProxyAndPac().raw;
  const RawSlots target = CleanedProxyAndPac().raw;
  WriteAllRaw(before);
  bool wrote = false;
  ASSERT_EQ(store().CompareAndSetRaw(before, target, &wrote), 0u);
  EXPECT_TRUE(wrote);
  EXPECT_EQ(ReadAllRaw(), target);
  EXPECT_FALSE(ReadRaw(kSlotAutoConfigUrl).present);

  fake_.clearCalls();
  wrote = false;
  EXPECT_EQ(store().CompareAndSetRaw(target, target, &wrote), 0u);
  EXPECT_FALSE(wrote);
  EXPECT_TRUE(fake_.calls().empty());  // nothing to do: not even a refresh

  // The registry no longer holds what the caller expects.
  EXPECT_EQ(store().CompareAndSetRaw(before, target, &wrote), static_cast<DWORD>(ERROR_RETRY));
  EXPECT_FALSE(wrote);
}

TEST_F(ProxyStoreTest, AWriterSlippingInDuringCompareAndSetGives1237AndKeepsItsValue) {
  const RawSlots before = UserProxyAndPac().raw;
  const RawSlots target = CleanedProxyAndPac().raw;
  WriteAllRaw(before);
  const RawValue theirs = Sz(u"http://other.example/theirs.pac");
  platform().beforeCompareRead = [&](std::size_t slot) {
    if (slot == kSlotAutoConfigUrl) WriteRaw(kSlotAutoConfigUrl, theirs);
  };
  bool wrote = false;
  EXPECT_EQ(store().CompareAndSetRaw(before, target, &wrote), static_cast<DWORD>(ERROR_RETRY));
  EXPECT_TRUE(wrote);
  EXPECT_EQ(ReadRaw(kSlotAutoConfigUrl), theirs);
  EXPECT_EQ(ReadRaw(kSlotProxyEnable), DwordValue(0));  // written before the change was seen
}

TEST_F(ProxyStoreTest, WithoutAUserTokenNothingIsReadOrWritten) {
  SetSettings(UserProxyAndPac());
  platform().userToken = NoUserToken;
  ProxySnapshot read;
  EXPECT_EQ(store().ReadSnapshot(read), static_cast<DWORD>(ERROR_NO_TOKEN));
  wchar_t* json = nullptr;
  EXPECT_EQ(OrvReadUserProxy(&json), static_cast<DWORD>(ERROR_NO_TOKEN));
  EXPECT_EQ(OrvSetUserProxy(8080), static_cast<DWORD>(ERROR_NO_TOKEN));
  EXPECT_EQ(OrvClearUserProxy(), static_cast<DWORD>(ERROR_NO_TOKEN));
  int out = 5;
  EXPECT_EQ(OrvReadEffectiveUserProxyConflict(&out), static_cast<DWORD>(ERROR_NO_TOKEN));
  EXPECT_EQ(out, 5);
  int ticket = 5;
  EXPECT_EQ(OrvBeginUserProxyCleanup(&ticket, &out), static_cast<DWORD>(ERROR_NO_TOKEN));
  EXPECT_EQ(ticket, 0);
  EXPECT_EQ(OrvVerifyUserProxyCleanup(0, &out), static_cast<DWORD>(ERROR_NO_TOKEN));
  // What the process's own state decides needs no user.
  EXPECT_EQ(OrvVerifyUserProxyCleanup(7, &out), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(OrvFinishUserProxyCleanup(7, 1), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  RawSlots target = UserProxyAndPac().raw;
  target[kSlotProxyEnable] = DwordValue(0);
  EXPECT_EQ(store().CompareAndSetRaw(UserProxyAndPac().raw, target, nullptr), static_cast<DWORD>(ERROR_NO_TOKEN));
  EXPECT_TRUE(fake_.calls().empty());
  EXPECT_EQ(Settings(), UserProxyAndPac());
}

// Whether the calling thread holds an impersonation token of its own.
bool ThreadHasToken() {
  HANDLE token = nullptr;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return false;
  ::CloseHandle(token);
  return true;
}

TEST_F(ProxyStoreTest, FailedCallsLeaveTheThreadAsItWas) {
  ASSERT_FALSE(ThreadHasToken());
  fake_.failCall(INTERNET_OPTION_REFRESH, ERROR_INTERNET_INTERNAL_ERROR);
  fake_.failCall(INTERNET_OPTION_REFRESH, ERROR_INTERNET_INTERNAL_ERROR);
  EXPECT_EQ(OrvSetUserProxy(8080), static_cast<DWORD>(ERROR_INTERNET_INTERNAL_ERROR));
  EXPECT_FALSE(ThreadHasToken());
  WriteRaw(kSlotProxyServer, Sz(u"x"));
  platform().beforeCompareRead = [&](std::size_t) { WriteRaw(kSlotProxyServer, Sz(u"y")); };
  RawSlots expected{};
  expected[kSlotProxyServer] = Sz(u"x");
  EXPECT_EQ(store().CompareAndSetRaw(expected, RawSlots{}, nullptr), static_cast<DWORD>(ERROR_RETRY));
  EXPECT_FALSE(ThreadHasToken());

  // A thread that was acting as someone goes on acting as them.
  ASSERT_TRUE(::ImpersonateSelf(SecurityImpersonation));
  fake_.failCall(INTERNET_OPTION_PER_CONNECTION_OPTION, ERROR_ACCESS_DENIED);
  EXPECT_EQ(OrvClearUserProxy(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(ThreadHasToken());
  ::RevertToSelf();
}

TEST_F(ProxyStoreTest, ReadUserProxyReturnsTheDocumentAsACoTaskMemString) {
  wchar_t* json = nullptr;
  ASSERT_EQ(OrvReadUserProxy(&json), 0u);
  ASSERT_NE(json, nullptr);
  EXPECT_STREQ(json, L"{\"proxyEnabled\":false,\"proxyServer\":\"\",\"pacEnabled\":false,\"autoConfigUrl\":\"\"}");
  ::CoTaskMemFree(json);

  fake_.setOptions(ProxyOptions{7, u"h\u00e9:1\"\\", u"never shown", u"http://w/\n"});
  ASSERT_EQ(OrvReadUserProxy(&json), 0u);
  EXPECT_STREQ(json,
               L"{\"proxyEnabled\":true,\"proxyServer\":\"h\u00e9:1\\\"\\\\\",\"pacEnabled\":true,"
               L"\"autoConfigUrl\":\"http://w/\\u000a\"}");
  ::CoTaskMemFree(json);

  fake_.setOptions(ProxyOptions{5, u"", u"", u"http://w/p.pac"});
  ASSERT_EQ(OrvReadUserProxy(&json), 0u);
  EXPECT_STREQ(json,
               L"{\"proxyEnabled\":false,\"proxyServer\":\"\",\"pacEnabled\":true,\"autoConfigUrl\":\"http://w/p.pac\"}");
  ::CoTaskMemFree(json);
}

TEST_F(ProxyStoreTest, ReadUserProxyReadsBeforeItLooksAtItsOutPointer) {
  EXPECT_EQ(OrvReadUserProxy(nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  fake_.failCall(kQueryCall, ERROR_INTERNET_INTERNAL_ERROR);
  EXPECT_EQ(OrvReadUserProxy(nullptr), static_cast<DWORD>(ERROR_INTERNET_INTERNAL_ERROR));

  wchar_t sentinel[] = L"untouched";
  wchar_t* json = sentinel;
  fake_.failCall(kQueryCall, ERROR_INTERNET_INTERNAL_ERROR);
  EXPECT_EQ(OrvReadUserProxy(&json), static_cast<DWORD>(ERROR_INTERNET_INTERNAL_ERROR));
  EXPECT_EQ(json, sentinel);
}

}  // namespace
}  // namespace orv::proxy::test
