// The interface's first conversations with kilna.exe: the session channel,
// the runtime log policy channel and the kernel log queue, each through the
// real messenger or export as the interface reaches them.

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/kilna_run.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

const char kQuit[] = R"({"op":"quit"})";
constexpr wchar_t kPersonalize[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

std::string Call(const std::string& channel, const std::string& method, const std::string& args = "null") {
  return R"({"op":"call","channel":")" + channel + R"(","method":")" + method + R"(","args":)" + args + "}";
}

std::string Session(const std::string& method, const std::string& args = "null") {
  return Call("orv.net/windows_session", method, args);
}

std::string Policy(const std::string& args) { return Call("orv.runtime_log_policy", "setPolicy", args); }

// The replies to the script's channel calls, in order.
std::vector<std::string> Replies(const KilnaRun& run) {
  std::vector<std::string> replies;
  for (const auto& line : run.transcript) {
    if (line.rfind(R"({"op":"call")", 0) != 0) continue;
    replies.push_back(line.substr(line.find(R"("reply")")));
  }
  return replies;
}

class Channels : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(shell_.ready()) << shell_.problem(); }
  void TearDown() override { ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"SystemUsesLightTheme"); }

  // The user's theme value, written where the user's hive has it (the same
  // hive kilna.exe redirects its HKEY_CURRENT_USER to).
  void SetTheme(DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"SystemUsesLightTheme", type, data, size),
              ERROR_SUCCESS);
  }

  ShellStandIn shell_;
};

const std::string kTrue = R"("reply":"success","value":true})";
const std::string kFalse = R"("reply":"success","value":false})";
const std::string kNull = R"("reply":"success","value":null})";
const std::string kNotImplemented = R"("reply":"notImplemented"})";

TEST_F(Channels, SessionFactsAnswerOnceEachAndIgnoreArguments) {
  const KilnaRun run = RunKilna({{Session("isRemoteSession"), Session("isRemoteSession", R"({"anything":[1,2]})"),
                                  Session("usesSoftwareRendering"), Session("usesSoftwareRendering", "\"x\""),
                                  Session("setTaskbarIcon"), Session("IsRemoteSession"), Session("reloadIcons"),
                                  kQuit}});
  EXPECT_EQ(run.process.exitCode, 0u);
  EXPECT_EQ(Replies(run), (std::vector<std::string>{kFalse, kFalse, kFalse, kFalse, kTrue, kNotImplemented,
                                                    kNotImplemented}));
}

TEST_F(Channels, TheThemeIsReadFromTheUsersHive) {
  const DWORD light = 1, dark = 0;
  SetTheme(REG_DWORD, &light, sizeof light);
  KilnaRun run = RunKilna({{Session("systemUsesLightTheme"), kQuit}});
  EXPECT_EQ(Replies(run), std::vector<std::string>{kTrue});

  SetTheme(REG_DWORD, &dark, sizeof dark);
  run = RunKilna({{Session("systemUsesLightTheme"), kQuit}});
  EXPECT_EQ(Replies(run), std::vector<std::string>{kFalse});

  const wchar_t text[] = L"1";
  SetTheme(REG_SZ, text, sizeof text);
  run = RunKilna({{Session("systemUsesLightTheme"), kQuit}});
  EXPECT_EQ(Replies(run), std::vector<std::string>{kNull}) << "a value of another type is unknown, not false";

  ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"SystemUsesLightTheme");
  run = RunKilna({{Session("systemUsesLightTheme"), kQuit}});
  EXPECT_EQ(Replies(run), std::vector<std::string>{kNull});
}

struct PolicyRun {
  std::vector<std::string> replies;
  std::vector<std::string> libraryCalls;  // "set ENABLED EXPIRES_AT"
};

PolicyRun RunPolicy(const std::vector<std::string>& calls, bool refuseOnce = false) {
  TempFolder folder;
  std::vector<std::string> script = calls;
  script.push_back(kQuit);
  KilnaOptions options{script};
  options.environment[L"ORV_CRYPTO_STANDIN_CALLS"] = folder / L"calls.txt";
  if (refuseOnce) options.environment[L"ORV_CRYPTO_STANDIN_REFUSE_ONCE"] = L"1";
  const KilnaRun run = RunKilna(options);
  EXPECT_EQ(run.process.exitCode, 0u);
  return {Replies(run), SplitLines(ReadWholeFile(folder / L"calls.txt").value_or(""))};
}

TEST_F(Channels, LogPolicyPassesOnlyABooleanTrueAndIntegerExpiry) {
  const PolicyRun run = RunPolicy({
      Policy(R"({"enabled":true,"expiresAt":0})"),
      Policy(R"({"enabled":1})"),
      Policy(R"({"enabled":true,"expiresAt":{"$int32":-5}})"),
      Policy(R"({"enabled":true,"expiresAt":{"$int64":99999999999}})"),
      Policy(R"({"enabled":true,"expiresAt":{"$double":99999999999.0},"other":"ignored"})"),
  });
  EXPECT_EQ(run.libraryCalls, (std::vector<std::string>{"set 1 0", "set 0 0", "set 1 -5", "set 1 99999999999",
                                                        "set 1 0"}));
  EXPECT_EQ(run.replies, (std::vector<std::string>{kTrue, kFalse, kFalse, kTrue, kTrue}));
}

TEST_F(Channels, MalformedLogPolicySwitchesFileLoggingOffBeforeRefusing) {
  const PolicyRun run = RunPolicy({Policy(R"({"enabled":true})"), Policy("[true,0]"), Policy(R"("on")"),
                                   Policy("null"), Call("orv.runtime_log_policy", "getPolicy")});
  EXPECT_EQ(run.libraryCalls, (std::vector<std::string>{"set 1 0", "set 0 0", "set 0 0", "set 0 0"}));
  const std::string refused =
      R"("reply":"error","code":"invalid_arguments","message":"Expected log policy.","details":null})";
  EXPECT_EQ(run.replies, (std::vector<std::string>{kTrue, refused, refused, refused, kNotImplemented}));
}

TEST_F(Channels, TheLogPolicyAnswerIsTheLibrarysViewAfterTheChange) {
  const PolicyRun run = RunPolicy({Policy(R"({"enabled":true,"expiresAt":0})"),
                                   Policy(R"({"enabled":true,"expiresAt":0})")},
                                  /*refuseOnce=*/true);
  EXPECT_EQ(run.replies, (std::vector<std::string>{kFalse, kTrue}));
}

std::string Ffi(const std::string& name, const std::string& args) {
  return R"({"op":"ffi","name":")" + name + R"(","args":)" + args + "}";
}

TEST_F(Channels, TheInterfaceDrainsQueuedNativeLogLines) {
  const std::string pop = Ffi("orv_kernel_log_pop", R"([{"$buffer":32},32,{"$buffer":16},16])");
  const KilnaRun run = RunKilna({{
      Ffi("orv_kernel_log_callback", R"(["INFO","before enable"])"),
      Ffi("orv_kernel_log_enable", "[1]"),
      Ffi("orv_kernel_log_callback", R"(["WARN","adapter lost"])"),
      Ffi("orv_kernel_log_callback", R"([null,"a message longer than the buffer"])"),
      pop,
      pop,
      pop,
      kQuit,
  }});
  EXPECT_EQ(run.process.exitCode, 0u);
  std::vector<std::string> pops;
  for (const auto& line : run.transcript) {
    if (line.find(R"("name":"orv_kernel_log_pop")") != std::string::npos) pops.push_back(line);
  }
  ASSERT_EQ(pops.size(), 3u);
  EXPECT_NE(pops[0].find(R"("result":1)"), std::string::npos) << pops[0];
  EXPECT_NE(pops[0].find(R"("levelOut":"WARN")"), std::string::npos) << pops[0];
  EXPECT_NE(pops[0].find(R"("messageOut":"adapter lost")"), std::string::npos) << pops[0];
  EXPECT_NE(pops[1].find(R"("levelOut":"INFO")"), std::string::npos) << pops[1];
  EXPECT_NE(pops[1].find(R"("messageOut":"a message longe")"), std::string::npos) << pops[1];
  EXPECT_NE(pops[2].find(R"("result":0)"), std::string::npos) << pops[2];
}

}  // namespace
}  // namespace orv::test
