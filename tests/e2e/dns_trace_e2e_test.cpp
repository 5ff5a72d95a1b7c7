// The DNS client trace exports called by the interface script in the real
// kilna.exe. This platform starts no tracing consumer (OpenTraceW answers
// 5), so every start fails there and must leave nothing current behind.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/kilna_run.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

std::string StartLine(const std::string& name) {
  return "{\"op\":\"ffi\",\"name\":\"OrvDnsTraceStart\",\"args\":[\"" + name + "\"]}";
}

TEST(DnsTraceEndToEnd, StartsFailCleanlyWhereNoConsumerCanOpen) {
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  KilnaOptions options;
  options.script = {
      StartLine("example.org"),
      "{\"op\":\"ffi\",\"name\":\"OrvDnsTraceFinish\",\"args\":[1,{\"$buffer\":256},256]}",
      StartLine("Example.org."),
      StartLine(std::string(255, 'a')),
      StartLine("bad_name"),
      "{\"op\":\"quit\"}",
  };
  const KilnaRun run = RunKilna(options);
  ASSERT_TRUE(run.process.started);
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_EQ(run.process.exitCode, 0u);

  std::vector<std::string> calls;
  for (const auto& line : run.transcript) {
    if (line.find("\"name\":\"OrvDnsTrace") != std::string::npos) calls.push_back(line);
  }
  ASSERT_EQ(calls.size(), 5u) << run.log;
  const std::string failedStart = "{\"op\":\"ffi\",\"name\":\"OrvDnsTraceStart\",\"result\":5,\"out\":{\"traceId\":0}}";
  EXPECT_EQ(calls[0], failedStart);
  EXPECT_NE(calls[1].find("\"result\":6,\"out\":{\"written\":0"), std::string::npos) << calls[1];
  EXPECT_EQ(calls[2], failedStart);  // 5 again, not 170: nothing was left current
  for (int i : {3, 4}) {
    EXPECT_EQ(calls[i], "{\"op\":\"ffi\",\"name\":\"OrvDnsTraceStart\",\"result\":87,\"out\":{\"traceId\":0}}");
  }
}

}  // namespace
}  // namespace orv::test
