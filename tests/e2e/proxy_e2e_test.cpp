// The user's proxy driven end to end: the real kilna.exe, started with the
// desktop shell stand-in, called by the interface script through its exports.
// Under Wine the options are Wine's own: it reads them from the registry
// values (flags without the direct bit, never an auto-config URL), writes only
// ProxyEnable and ProxyServer, and its refresh fails with 12018, so every
// write that ends in a refresh reports 12018 after writing.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/native/proxy/internet_settings_reg.h"
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

}  // namespace
}  // namespace orv::test
