// The protected directories as the interface reaches them in the running
// kilna.exe. Wine's file security never reads back as written (a directory's
// owner is always the Wine user), so every request that needs a trusted
// directory must be refused rather than handed an untrusted one.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/kilna_run.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

std::vector<std::string> ProtectedDirectoryReplies(const KilnaRun& run) {
  std::vector<std::string> replies;
  for (const auto& line : run.transcript) {
    if (line.find("\"op\":\"ffi\"") != std::string::npos && line.find("Protected") != std::string::npos) {
      replies.push_back(line);
    }
  }
  return replies;
}

TEST(KilnaProtectedDirs, RefusesWhatWineCannotProtect) {
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  KilnaOptions options;
  options.script = {
      R"({"op":"ffi","name":"OrvCreateProtectedTemp","args":[null]})",
      R"({"op":"ffi","name":"OrvCreateProtectedTemp","args":["a b"]})",
      R"({"op":"ffi","name":"OrvCreateProtectedTemp","args":["work"]})",
      R"({"op":"ffi","name":"OrvCreateProtectedUpdateTemp","args":[]})",
      R"({"op":"ffi","name":"OrvGetProtectedUpdateCache","args":[]})",
      R"({"op":"quit"})",
  };
  const KilnaRun run = RunKilna(options);
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_EQ(run.process.exitCode, 0u);
  const std::vector<std::string> expected = {
      R"({"op":"ffi","name":"OrvCreateProtectedTemp","result":87,"out":{"outPath":null}})",
      R"({"op":"ffi","name":"OrvCreateProtectedTemp","result":123,"out":{"outPath":null}})",
      R"({"op":"ffi","name":"OrvCreateProtectedTemp","result":5,"out":{"outPath":null}})",
      R"({"op":"ffi","name":"OrvCreateProtectedUpdateTemp","result":5,"out":{"outPath":null}})",
      R"({"op":"ffi","name":"OrvGetProtectedUpdateCache","result":5,"out":{"outPath":null}})",
  };
  EXPECT_EQ(ProtectedDirectoryReplies(run), expected) << run.log;
}

}  // namespace
}  // namespace orv::test
