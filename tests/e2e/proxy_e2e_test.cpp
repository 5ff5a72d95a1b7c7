// The user's proxy driven end to end: the real kilna.exe, started with the
// desktop shell stand-in, called by the interface script through its exports.
// With Wine's own WinINet (the first tests) the options are Wine's: it reads
// them from the registry values (flags without the direct bit, never an
// auto-config URL), writes only ProxyEnable and ProxyServer, and its refresh
// fails with 12018, so every write that ends in a refresh reports 12018 after
// writing.

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "native/common/unique_resource.h"
#include "native/proxy/internet_settings_key.h"
#include "native/proxy/journal_lock.h"
#include "tests/native/proxy/internet_settings_reg.h"
#include "tests/native/proxy/options_in_registry.h"
#include "tests/support/kilna_run.h"
#include "tests/support/process.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

std::string Ffi(const std::string& name, const std::string& args = "[]") {
  return "{\"op\":\"ffi\",\"name\":\"" + name + "\",\"args\":" + args + "}";
}

TEST(ProxyEndToEnd, AManualProxyIsReportedConflictsAndIsClearedTheWayWineWritesIt) {
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  proxy::test::RegWriteManualProxy();

  KilnaOptions options;
  options.script = {Ffi("OrvReadUserProxy"), Ffi("OrvReadEffectiveUserProxyConflict"), Ffi("OrvClearUserProxy"),
                    Ffi("OrvReadEffectiveUserProxyConflict"), "{\"op\":\"quit\"}"};
  const KilnaRun run = RunKilna(options);
  ASSERT_TRUE(run.process.started);
  ASSERT_FALSE(run.process.timedOut);

  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvReadUserProxy\"", "\"result\":0",
                                     "{\\\"proxyEnabled\\\":true,\\\"proxyServer\\\":\\\"proxy.example:3128\\\","
                                     "\\\"pacEnabled\\\":false,\\\"autoConfigUrl\\\":\\\"\\\"}"}),
            "");
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvReadEffectiveUserProxyConflict\"", "\"result\":0",
                                     "\"outConflict\":1"}),
            "");
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvClearUserProxy\"", "\"result\":12018"}), "");
  // After the clear the connection is direct.
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvReadEffectiveUserProxyConflict\"", "\"outConflict\":0"}), "");

  const std::wstring exported = proxy::test::RegExportSettings();
  EXPECT_NE(exported.find(L"\"ProxyEnable\"=dword:00000000"), std::wstring::npos) << Narrow(exported);
  EXPECT_NE(exported.find(L"\"ProxyServer\"=\"\""), std::wstring::npos) << Narrow(exported);
}

// Wine's refresh fails inside the options write, so the cleanup reports that
// and opens no ticket. (Its rollback then meets a Wine reading that no cleanup
// wrote, an empty bypass list while the proxy is off, and refuses; the outcome
// of the rollback is therefore not checked here but against the fake store.)
TEST(ProxyEndToEnd, ACleanupWhoseRefreshFailsReportsItAndOpensNoTicket) {
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  proxy::test::RegWriteManualProxy();
  KilnaOptions options;
  options.script = {Ffi("OrvBeginUserProxyCleanup"), Ffi("OrvVerifyUserProxyCleanup", "[1]"),
                    Ffi("OrvFinishUserProxyCleanup", "[0,1]"), Ffi("OrvRestoreUserProxy"), "{\"op\":\"quit\"}"};
  const KilnaRun run = RunKilna(options);
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvBeginUserProxyCleanup\"", "\"result\":12018", "\"outTicket\":0"}),
            "");
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvVerifyUserProxyCleanup\"", "\"result\":87"}), "");
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvFinishUserProxyCleanup\"", "\"result\":0"}), "");
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvRestoreUserProxy\"", "\"result\":0", "\"outRestored\":0"}), "");
}

// The test wininet.dll in the system folder of the prefix, where kilna.exe
// loads WinINet from, and Wine's own put back afterwards. Wine prefers its own
// WinINet even there; an override for one executable's name alone (read by
// Wine's loader from the registry, not from the child's environment) makes
// that executable load the file, so every other program keeps Wine's.
class SystemFolderWinInet {
 public:
  explicit SystemFolderWinInet(const std::wstring& executableName)
      : overrides_(L"Software\\Wine\\AppDefaults\\" + executableName) {
    wchar_t system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    installed_ = std::wstring(system) + L"\\wininet.dll";
    original_ = ReadWholeFile(installed_);
    const std::wstring dll = BinaryFolder() + L"\\..\\proxy_test_wininet\\wininet.dll";
    static constexpr wchar_t kNative[] = L"native";
    ready_ = original_.has_value() && ::CopyFileW(dll.c_str(), installed_.c_str(), FALSE) &&
             ::RegSetKeyValueW(HKEY_CURRENT_USER, (overrides_ + L"\\DllOverrides").c_str(), L"wininet", REG_SZ,
                               kNative, sizeof(kNative)) == ERROR_SUCCESS;
  }
  ~SystemFolderWinInet() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, overrides_.c_str());
    if (original_) WriteWholeFile(installed_, *original_);
  }
  SystemFolderWinInet(const SystemFolderWinInet&) = delete;
  SystemFolderWinInet& operator=(const SystemFolderWinInet&) = delete;

  bool ready() const { return ready_; }

 private:
  std::wstring overrides_;
  std::wstring installed_;
  std::optional<std::string> original_;
  bool ready_ = false;
};

// kilna.exe copied into a folder of its own, under a name of its own, and run
// against the test wininet.dll: per-connection options as Windows keeps them,
// with a refresh that works. Nothing is put beside the copy: kilna.exe loads
// WinINet from the system folder alone.
class ProxyWithPerConnectionWinInet : public ::testing::Test {
 protected:
  static constexpr wchar_t kCopyName[] = L"kilna-wininet-test.exe";
  static constexpr wchar_t kJournalKey[] = L"Software\\Kilna\\Proxy";

  void SetUp() override {
    ASSERT_TRUE(shell_.ready()) << shell_.problem();
    ASSERT_TRUE(wininet_.ready());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kJournalKey);  // whatever earlier runs left
    ::RegDeleteTreeW(HKEY_CURRENT_USER, proxy::test::kTestDetectionPath);
    const std::wstring copied = CopyKilnaInto(folder_.path());
    ASSERT_FALSE(copied.empty());
    executable_ = folder_ / kCopyName;
    ASSERT_TRUE(::MoveFileW(copied.c_str(), executable_.c_str()));
  }

  void TearDown() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kJournalKey);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, proxy::test::kTestDetectionPath);
  }

  KilnaOptions Options(std::vector<std::string> script) {
    KilnaOptions options;
    script.push_back("{\"op\":\"quit\"}");
    options.script = std::move(script);
    options.executable = executable_;
    return options;
  }

  static std::wstring ProxyServerValue() {
    wchar_t text[256] = {};
    DWORD size = sizeof(text);
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                       L"ProxyServer", RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
      return {};
    }
    return text;
  }

  static bool WaitForProxyServer(const std::wstring& server) {
    const ULONGLONG until = ::GetTickCount64() + 30000;
    while (ProxyServerValue() != server && ::GetTickCount64() < until) ::Sleep(20);
    return ProxyServerValue() == server;
  }

  static std::optional<std::vector<std::uint8_t>> JournalBytes() {
    std::vector<std::uint8_t> bytes(0x10000);
    DWORD size = static_cast<DWORD>(bytes.size());
    if (::RegGetValueW(HKEY_CURRENT_USER, kJournalKey, L"Journal", RRF_RT_REG_BINARY, nullptr, bytes.data(), &size) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    bytes.resize(size);
    return bytes;
  }

  static bool Running(DWORD processId) {
    const UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
  }

  // The user's manual proxy and auto-config URL, and that nothing of ours is left.
  static void WriteUsersSettings() {
    proxy::test::RegWriteManualProxy();
    proxy::test::RegAddSetting(L"AutoConfigURL", L"REG_SZ", L"http://wpad.example/proxy.pac");
  }
  // A loopback left in effect is ours: no conflict, no cleanup ticket, and
  // restore gives the user's settings back.
  static void ExpectOurLoopbackTakenForOurs(const KilnaRun& run) {
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvReadEffectiveUserProxyConflict\"", "\"result\":0",
                                     "\"outConflict\":0"}),
            "");
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvBeginUserProxyCleanup\"", "\"result\":0", "\"outTicket\":0"}),
            "");
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvRestoreUserProxy\"", "\"result\":0", "\"outRestored\":1"}), "");
  }
  static void ExpectUsersSettingsBack() {
    const std::wstring exported = proxy::test::RegExportSettings();
    EXPECT_EQ(exported.find(L"127.0.0.1"), std::wstring::npos) << Narrow(exported);
    EXPECT_NE(exported.find(L"\"ProxyEnable\"=dword:00000001"), std::wstring::npos) << Narrow(exported);
    EXPECT_NE(exported.find(L"\"ProxyServer\"=\"proxy.example:3128\""), std::wstring::npos) << Narrow(exported);
    EXPECT_NE(exported.find(L"\"AutoConfigURL\"=\"http://wpad.example/proxy.pac\""), std::wstring::npos)
        << Narrow(exported);
    UniqueRegKey journal;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kJournalKey, 0, KEY_QUERY_VALUE, journal.put()), ERROR_SUCCESS);
    EXPECT_NE(::RegQueryValueExW(journal.get(), L"Journal", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS)
        << "the journal outlived the restore";
  }

  ShellStandIn shell_;
  SystemFolderWinInet wininet_{kCopyName};
  TempFolder folder_;
  std::wstring executable_;
};

TEST_F(ProxyWithPerConnectionWinInet, AProxyTheUserSetBetweenTwoSetsIsWhatRestoreLeaves) {
  proxy::test::RegAddSetting(L"ProxyEnable", L"REG_DWORD", L"0");
  proxy::test::RegDeleteSetting(L"ProxyServer");
  proxy::test::RegDeleteSetting(L"AutoConfigURL");
  KilnaSession session(Options({Ffi("OrvSetUserProxy", "[8080]"), "{\"op\":\"wait\",\"ms\":6000}",
                                Ffi("OrvSetUserProxy", "[9090]"), Ffi("OrvRestoreUserProxy")}));
  const ULONGLONG until = ::GetTickCount64() + 30000;
  while (ProxyServerValue() != L"127.0.0.1:8080" && ::GetTickCount64() < until) ::Sleep(20);
  ASSERT_EQ(ProxyServerValue(), L"127.0.0.1:8080");
  // The user points the proxy at their own server by hand.
  proxy::test::RegAddSetting(L"ProxyServer", L"REG_SZ", L"proxy.example:3128");
  const KilnaRun run = session.Finish();
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvSetUserProxy\"", "\"result\":0"}), "");
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvRestoreUserProxy\"", "\"result\":0", "\"outRestored\":1"}), "");

  const std::wstring exported = proxy::test::RegExportSettings();
  EXPECT_NE(exported.find(L"\"ProxyEnable\"=dword:00000001"), std::wstring::npos) << Narrow(exported);
  EXPECT_NE(exported.find(L"\"ProxyServer\"=\"proxy.example:3128\""), std::wstring::npos) << Narrow(exported);
  EXPECT_EQ(exported.find(L"127.0.0.1"), std::wstring::npos) << Narrow(exported);
}

// The user chose "Automatically detect settings" and WinINet's detection has
// since failed, so the flags in effect lack the auto-detect bit.
TEST_F(ProxyWithPerConnectionWinInet, TheUsersAutoDetectChoiceComesBackWithTheRestore) {
  proxy::test::RegAddSetting(L"ProxyEnable", L"REG_DWORD", L"0");
  proxy::test::RegDeleteSetting(L"ProxyServer");
  proxy::test::RegDeleteSetting(L"AutoConfigURL");
  const DWORD on = 1;
  for (const wchar_t* name : {L"AutoDetect", L"DetectionFailed"}) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, proxy::test::kTestDetectionPath, name, REG_DWORD, &on, sizeof(on)),
              ERROR_SUCCESS);
  }
  const KilnaRun run = RunKilna(Options({Ffi("OrvSetUserProxy", "[8080]"), Ffi("OrvRestoreUserProxy")}));
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvSetUserProxy\"", "\"result\":0"}), "");
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvRestoreUserProxy\"", "\"result\":0", "\"outRestored\":1"}), "");
  DWORD autoDetect = 0;
  DWORD size = sizeof(autoDetect);
  EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, proxy::test::kTestDetectionPath, L"AutoDetect", RRF_RT_REG_DWORD,
                           nullptr, &autoDetect, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(autoDetect, 1u) << "the restore wrote the user's auto-detect choice away";
}

TEST_F(ProxyWithPerConnectionWinInet, ACleanupAroundOurProxyLeavesNoLoopbackBehind) {
  proxy::test::RegWriteManualProxy();
  proxy::test::RegAddSetting(L"AutoConfigURL", L"REG_SZ", L"http://wpad.example/proxy.pac");
  const KilnaRun run = RunKilna(Options({Ffi("OrvSetUserProxy", "[8080]"), Ffi("OrvReadEffectiveUserProxyConflict"),
                                         Ffi("OrvBeginUserProxyCleanup"), Ffi("OrvRestoreUserProxy"),
                                         Ffi("OrvFinishUserProxyCleanup", "[0,1]")}));
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvSetUserProxy\"", "\"result\":0"}), "");
  ExpectOurLoopbackTakenForOurs(run);
  ExpectUsersSettingsBack();
}

TEST_F(ProxyWithPerConnectionWinInet, AfterAKillBetweenSetAndRestoreTheNextKilnaGivesTheUsersSettingsBack) {
  WriteUsersSettings();
  {
    KilnaSession killed(Options({Ffi("OrvSetUserProxy", "[8080]"), "{\"op\":\"wait\",\"ms\":60000}"}));
    ASSERT_TRUE(WaitForProxyServer(L"127.0.0.1:8080"));
    const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, killed.processId()));
    ASSERT_TRUE(process && ::TerminateProcess(process.get(), 9));
    killed.Finish();
  }
  const KilnaRun run = RunKilna(Options({Ffi("OrvReadEffectiveUserProxyConflict"), Ffi("OrvBeginUserProxyCleanup"),
                                         Ffi("OrvRestoreUserProxy")}));
  ASSERT_FALSE(run.process.timedOut);
  // The loopback left behind is the killed kilna.exe's, not the user's proxy.
  ExpectOurLoopbackTakenForOurs(run);
  ExpectUsersSettingsBack();
}

// The cleanup's copy is journaled: killed while it is open, the next
// kilna.exe puts the user's proxy and setup script back.
TEST_F(ProxyWithPerConnectionWinInet, AfterAKillDuringAnOpenCleanupTheNextKilnaGivesTheUsersSettingsBack) {
  WriteUsersSettings();
  {
    KilnaSession killed(Options({Ffi("OrvBeginUserProxyCleanup"), "{\"op\":\"wait\",\"ms\":60000}"}));
    const auto proxyOff = [] {
      DWORD enabled = 1;
      DWORD size = sizeof(enabled);
      return ::RegGetValueW(HKEY_CURRENT_USER, proxy::kInternetSettingsPath, L"ProxyEnable", RRF_RT_REG_DWORD, nullptr,
                            &enabled, &size) == ERROR_SUCCESS &&
             enabled == 0;
    };
    const ULONGLONG until = ::GetTickCount64() + 30000;
    while (!proxyOff() && ::GetTickCount64() < until) ::Sleep(20);
    ASSERT_TRUE(proxyOff()) << "the cleanup did not turn the user's proxy off";
    ::Sleep(500);  // past the cleanup's last write
    const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, killed.processId()));
    ASSERT_TRUE(process && ::TerminateProcess(process.get(), 9));
    killed.Finish();
  }
  const KilnaRun run = RunKilna(Options({Ffi("OrvReadEffectiveUserProxyConflict")}));
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvReadEffectiveUserProxyConflict\"", "\"result\":0",
                                     "\"outConflict\":3"}),
            "");
  ExpectUsersSettingsBack();
}

// Killed inside its restore, after the restore was journaled and before
// WinINet took the user's settings: the next kilna.exe finishes the restore on
// its first look at the journal.
TEST_F(ProxyWithPerConnectionWinInet, AfterAKillInsideRestoreTheNextKilnaFinishesIt) {
  WriteUsersSettings();
  {
    KilnaSession killed(Options({Ffi("OrvSetUserProxy", "[8080]"), "{\"op\":\"wait\",\"ms\":3000}",
                                 Ffi("OrvRestoreUserProxy"), "{\"op\":\"wait\",\"ms\":60000}"}));
    ASSERT_TRUE(WaitForProxyServer(L"127.0.0.1:8080"));
    const std::optional<std::vector<std::uint8_t>> afterSet = JournalBytes();
    ASSERT_TRUE(afterSet.has_value());
    const DWORD slow = 60000;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, proxy::test::kTestDetectionPath, L"SlowSetMs", REG_DWORD, &slow,
                                sizeof(slow)),
              ERROR_SUCCESS);
    const ULONGLONG until = ::GetTickCount64() + 30000;
    while (JournalBytes() == afterSet && ::GetTickCount64() < until) ::Sleep(20);
    ASSERT_NE(JournalBytes(), afterSet) << "the restore did not journal itself before writing";
    ::Sleep(300);  // inside WinINet's set, waiting
    ASSERT_EQ(ProxyServerValue(), L"127.0.0.1:8080");
    const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, killed.processId()));
    ASSERT_TRUE(process && ::TerminateProcess(process.get(), 9));
    killed.Finish();
  }
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, proxy::test::kTestDetectionPath, L"SlowSetMs");
  const KilnaRun run = RunKilna(Options({Ffi("OrvReadEffectiveUserProxyConflict")}));
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_NE(FindTranscriptLine(run, {"\"name\":\"OrvReadEffectiveUserProxyConflict\"", "\"result\":0",
                                     "\"outConflict\":3"}),
            "");
  ExpectUsersSettingsBack();
}

TEST_F(ProxyWithPerConnectionWinInet, TwoKilnaProcessesSettingAndRestoringInTurnGiveTheUsersSettingsBack) {
  WriteUsersSettings();
  // A sets, B sets over A's loopback, A restores, B restores.
  KilnaSession a(Options({Ffi("OrvSetUserProxy", "[8080]"), "{\"op\":\"wait\",\"ms\":12000}",
                          Ffi("OrvRestoreUserProxy")}));
  ASSERT_TRUE(WaitForProxyServer(L"127.0.0.1:8080"));
  KilnaSession b(Options({Ffi("OrvSetUserProxy", "[9090]"), "{\"op\":\"wait\",\"ms\":30000}",
                          Ffi("OrvRestoreUserProxy")}));
  ASSERT_TRUE(WaitForProxyServer(L"127.0.0.1:9090"));
  ASSERT_TRUE(Running(a.processId())) << "A restored before B's set: the order under test was not reached";
  const KilnaRun runA = a.Finish();
  ASSERT_FALSE(runA.process.timedOut);
  ASSERT_TRUE(Running(b.processId())) << "B restored before A: the order under test was not reached";
  EXPECT_NE(FindTranscriptLine(runA, {"\"name\":\"OrvRestoreUserProxy\"", "\"result\":0", "\"outRestored\":1"}),
            "");
  EXPECT_EQ(ProxyServerValue(), L"127.0.0.1:9090");  // B's proxy is B's to give back
  const KilnaRun runB = b.Finish();
  ASSERT_FALSE(runB.process.timedOut);
  EXPECT_NE(FindTranscriptLine(runB, {"\"name\":\"OrvRestoreUserProxy\"", "\"result\":0", "\"outRestored\":1"}),
            "");
  ExpectUsersSettingsBack();
}

// The journal's lock is one per user, not per process: while a kilna.exe is
// inside its set, another process of the user waits for it, and gets it once
// the set has returned.
TEST_F(ProxyWithPerConnectionWinInet, AnotherProcessOfTheUserWaitsForTheLockAKilnaHolds) {
  WriteUsersSettings();
  const DWORD slow = 3000;
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, proxy::test::kTestDetectionPath, L"SlowSetMs", REG_DWORD, &slow,
                              sizeof(slow)),
            ERROR_SUCCESS);
  KilnaSession holder(Options({Ffi("OrvSetUserProxy", "[8080]"), "{\"op\":\"wait\",\"ms\":2000}",
                               Ffi("OrvRestoreUserProxy")}));
  const ULONGLONG until = ::GetTickCount64() + 30000;
  while (!JournalBytes().has_value() && ::GetTickCount64() < until) ::Sleep(20);
  ASSERT_TRUE(JournalBytes().has_value()) << "the set did not journal itself";
  ASSERT_NE(ProxyServerValue(), L"127.0.0.1:8080") << "the set ended before the lock was tried";
  {
    const proxy::JournalLock lock(nullptr, 200);
    EXPECT_EQ(lock.error(), static_cast<DWORD>(ERROR_TIMEOUT)) << "the lock kilna.exe holds is not this user's";
  }
  ASSERT_TRUE(WaitForProxyServer(L"127.0.0.1:8080"));
  {
    const proxy::JournalLock lock(nullptr, 20000);
    EXPECT_EQ(lock.error(), static_cast<DWORD>(ERROR_SUCCESS));
  }
  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, proxy::test::kTestDetectionPath, L"SlowSetMs");
  const KilnaRun run = holder.Finish();
  ASSERT_FALSE(run.process.timedOut);
  ExpectUsersSettingsBack();
}

}  // namespace
}  // namespace orv::test
