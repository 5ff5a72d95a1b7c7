// Launching a program from the interface: the real kilna.exe, started with the
// desktop shell stand-in, calls its own launch export from the interface script.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/kilna_run.h"
#include "tests/support/process.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

// A path as a JSON string (backslashes and quotes escaped).
std::string JsonPath(const std::wstring& path) {
  std::string json = "\"";
  for (const char c : Narrow(path)) {
    if (c == '\\' || c == '"') json.push_back('\\');
    json.push_back(c);
  }
  return json + "\"";
}

std::string LaunchLine(const std::wstring& file) {
  return "{\"op\":\"ffi\",\"name\":\"OrvLaunchElevated\",\"args\":[" + JsonPath(file) + ",null,null]}";
}

TEST(LaunchEndToEnd, TheInterfaceStartsAProgramThroughTheExecutablesExport) {
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  TempFolder folder;
  KilnaOptions options;
  options.script = {LaunchLine(BinaryFolder() + L"\\launch_target.exe"), LaunchLine(folder / L"absent.exe"),
                    "{\"op\":\"quit\"}"};
  const KilnaRun run = RunKilna(options);
  ASSERT_TRUE(run.process.started);
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_EQ(run.process.exitCode, 0u);

  std::vector<std::string> launches;
  for (const auto& line : run.transcript) {
    if (line.find("\"name\":\"OrvLaunchElevated\"") != std::string::npos) launches.push_back(line);
  }
  ASSERT_EQ(launches.size(), 2u) << run.log;
  EXPECT_NE(launches[0].find("\"result\":0,"), std::string::npos) << launches[0];
  EXPECT_EQ(launches[0].find("\"outProcessId\":0}"), std::string::npos) << launches[0];
  EXPECT_NE(launches[0].find("\"outProcessId\":"), std::string::npos) << launches[0];
  EXPECT_NE(launches[1].find("\"result\":2,"), std::string::npos) << launches[1];
  EXPECT_NE(launches[1].find("\"outProcessId\":0}"), std::string::npos) << launches[1];
}

}  // namespace
}  // namespace orv::test
