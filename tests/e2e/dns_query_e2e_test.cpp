// The DNS query exports called through the real kilna.exe, as the interface
// calls them, inside the test namespace.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/kilna_run.h"
#include "tests/support/shell_standin.h"
#include "tests/support/test_namespace.h"

namespace orv::test {
namespace {

TEST(DnsQueryEndToEnd, TheExecutableLoadsAndAnswersItsQueryExports) {
  const std::string why = WhyNotInTestNamespace();
  ASSERT_TRUE(why.empty()) << why;
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  KilnaOptions options;
  options.script = {
      R"({"op":"ffi","name":"OrvQuerySystemDns","args":["host.test",4,8]})",
      R"({"op":"ffi","name":"OrvQueryPhysicalDns","args":["host.test",0,4,8]})",
      R"({"op":"ffi","name":"OrvQueryPhysicalDns","args":["host.test",1,5,8]})",
      R"({"op":"ffi","name":"OrvQueryPhysicalDns","args":["host.test",1,4,0]})",
      R"({"op":"ffi","name":"OrvQueryPhysicalDns","args":["host.test",1,4,9]})",
      R"({"op":"quit"})",
  };
  const KilnaRun run = RunKilna(options);
  ASSERT_TRUE(run.process.started);
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_EQ(run.process.exitCode, 0u) << "kilna.exe loads with its DNS imports";

  std::vector<std::string> calls;
  for (const auto& line : run.transcript) {
    if (line.find("\"name\":\"OrvQuery") != std::string::npos) calls.push_back(line);
  }
  ASSERT_EQ(calls.size(), 5u) << run.log;
  // Wine's DnsQueryEx sends nothing and answers 9004.
  EXPECT_NE(calls[0].find("\"result\":9004,"), std::string::npos) << calls[0];
  EXPECT_NE(calls[0].find("\"count\":0"), std::string::npos) << calls[0];
  EXPECT_NE(calls[0].find("\"addresses\":[]"), std::string::npos) << calls[0];
  for (std::size_t i = 1; i < calls.size(); ++i) {
    EXPECT_NE(calls[i].find("\"result\":87,"), std::string::npos) << calls[i];
    EXPECT_NE(calls[i].find("\"count\":0"), std::string::npos) << calls[i];
  }
}

}  // namespace
}  // namespace orv::test
