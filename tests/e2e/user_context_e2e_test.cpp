// The user context as the interface reads it from the running kilna.exe:
// through the executable's own exports, called by the interface script.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/kilna_run.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

std::vector<std::string> FfiResults(const KilnaRun& run, const std::string& name) {
  std::vector<std::string> results;
  const std::string key = "\"name\":\"" + name + "\",\"result\":";
  for (const auto& line : run.transcript) {
    if (const size_t at = line.find(key); at != std::string::npos) {
      results.push_back(line.substr(at + key.size(), line.rfind('}') - at - key.size()));
    }
  }
  return results;
}

TEST(KilnaUserContext, TheInterfaceReadsTheCapturedContextAndToken) {
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  const std::string context = R"({"op":"ffi","name":"OrvGetUserContext","args":[]})";
  const std::string token = R"({"op":"ffi","name":"OrvGetInteractiveUserToken","args":[]})";
  KilnaOptions options;
  options.script = {context, token, context, R"({"op":"quit"})"};
  options.environment = {{L"TEMP", L"C:\\stale\\temp"}, {L"TMP", L"C:\\stale\\tmp"}};
  const KilnaRun run = RunKilna(options);
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_EQ(run.process.exitCode, 0u);

  const auto texts = FfiResults(run, "OrvGetUserContext");
  ASSERT_EQ(texts.size(), 2u) << run.log;
  EXPECT_EQ(texts[0], texts[1]);
  // The text arrives as a JSON string in the transcript, so its quotes are escaped.
  EXPECT_EQ(texts[0].rfind(R"("{\"userSid\":\"S-1-5-)", 0), 0u) << texts[0];
  EXPECT_NE(texts[0].find(R"(,\"isElevated\":true,\"desktop\":)"), std::string::npos) << texts[0];
  EXPECT_EQ(texts[0].find("stale"), std::string::npos) << texts[0];
  EXPECT_EQ(texts[0].substr(texts[0].size() - 4), R"(\"}")");

  const auto handles = FfiResults(run, "OrvGetInteractiveUserToken");
  ASSERT_EQ(handles.size(), 1u);
  EXPECT_NE(handles[0], "0");
  EXPECT_EQ(handles[0].find_first_not_of("0123456789"), std::string::npos) << handles[0];
}

}  // namespace
}  // namespace orv::test
