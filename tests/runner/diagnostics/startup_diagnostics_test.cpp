// The startup diagnostics of real processes: each case runs the probe in a
// fresh folder with its own environment and reads what reached the log.

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "tests/support/process.h"

namespace orv::test {
namespace {

constexpr wchar_t kProbe[] = L"diagnostics_probe.exe";

// A folder holding a copy of the probe, with or without the logging library.
struct ProbeFolder {
  explicit ProbeFolder(bool withLoggingLibrary = true) {
    EXPECT_TRUE(CopyBinary(kProbe, folder.path()));
    if (withLoggingLibrary) {
      EXPECT_TRUE(CopyBinary(L"orv_crypto.dll", folder.path()));
    }
  }
  ProcessResult Run(const std::vector<std::wstring>& args, const EnvironmentChanges& env,
                    const std::wstring& cwd = {}) const {
    EnvironmentChanges all = {{L"ORV_STARTUP_DIAGNOSTICS", std::nullopt}, {L"ORV_DIAGNOSTICS_DIR", std::nullopt}};
    for (const auto& [k, v] : env) all[k] = v;
    return RunProcess(folder / kProbe, args, all, cwd.empty() ? folder.path() : cwd);
  }
  TempFolder folder;
};

EnvironmentChanges DiagnosticsOn(const std::wstring& dir) {
  return {{L"ORV_STARTUP_DIAGNOSTICS", L"1"}, {L"ORV_DIAGNOSTICS_DIR", dir}};
}

TEST(StartupDiagnostics, EnableRulesReadFromTheEnvironment) {
  ProbeFolder probe;
  TempFolder logs;
  struct Row {
    std::optional<std::wstring> flag, dir;
    DWORD enabled;
  };
  const std::wstring unc = L"\\\\localhost\\share";
  const Row rows[] = {
      {L"1", logs.path(), 1},        {L"1", logs.path() + L"\\", 1}, {L"1", unc, 1},
      {L"1 ", logs.path(), 0},       {L"true", logs.path(), 0},      {L"01", logs.path(), 0},
      {L"1", L"relative", 0},        {L"1", L"C:", 0},               {L"1", std::nullopt, 0},
      {std::nullopt, logs.path(), 0},
  };
  for (const auto& row : rows) {
    const auto result = probe.Run({}, {{L"ORV_STARTUP_DIAGNOSTICS", row.flag}, {L"ORV_DIAGNOSTICS_DIR", row.dir}});
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, row.enabled) << Narrow(row.flag.value_or(L"<unset>")) << " / "
                                            << Narrow(row.dir.value_or(L"<unset>"));
  }
}

TEST(StartupDiagnostics, StageLinesShareOneRunIdAndKeepTheirOrder) {
  ProbeFolder probe;
  TempFolder logs;
  const std::wstring longName(200, L'n');
  const auto result = probe.Run({L"stage:runner.entry", L"stage:runner.com.init.begin", L"stage:" + longName,
                                 L"graphics:policy=default", L"flush"},
                                DiagnosticsOn(logs.path()));
  ASSERT_EQ(result.exitCode, 1u);
  const auto text = ReadWholeFile(logs / L"windows-renderer.log");
  ASSERT_TRUE(text.has_value());
  const auto lines = SplitLines(*text);
  ASSERT_EQ(lines.size(), 4u) << *text;

  const std::regex stage(
      R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} pid=(\d+) tid=(\d+) \[startup\] run=(\d+-\d+) stage=(\S+) elapsedMs=(\d+))");
  std::smatch first, m;
  ASSERT_TRUE(std::regex_match(lines[0], first, stage)) << lines[0];
  EXPECT_EQ(first[4], "runner.entry");
  EXPECT_EQ(first[3].str().substr(0, first[1].length() + 1), first[1].str() + "-");
  EXPECT_LT(std::stoull(first[5]), 1000u);
  ASSERT_TRUE(std::regex_match(lines[1], m, stage)) << lines[1];
  EXPECT_EQ(m[4], "runner.com.init.begin");
  EXPECT_EQ(m[3], first[3]);
  EXPECT_EQ(m[2], first[2]);
  ASSERT_TRUE(std::regex_match(lines[2], m, stage)) << lines[2];
  EXPECT_EQ(m[4], std::string(160, 'n'));
  EXPECT_EQ(m[3], first[3]);
  EXPECT_TRUE(std::regex_match(lines[3], std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} pid=\d+ \[graphics\] policy=default)")))
      << lines[3];
}

TEST(StartupDiagnostics, WithNoVariablesOnlyGraphicsLinesReachTheLogsFolderBesideTheExecutable) {
  ProbeFolder probe;
  const auto result = probe.Run({L"stage:runner.entry", L"graphics:adapter=check"}, {});
  ASSERT_EQ(result.exitCode, 0u);
  const auto text = ReadWholeFile(probe.folder / L"logs\\windows-renderer.log");
  ASSERT_TRUE(text.has_value());
  const auto lines = SplitLines(*text);
  ASSERT_EQ(lines.size(), 1u) << *text;
  EXPECT_NE(lines[0].find("[graphics] adapter=check"), std::string::npos);
}

TEST(StartupDiagnostics, GraphicsLinesAreWrittenBeforeTheCallReturnsWhenDiagnosticsAreOff) {
  ProbeFolder probe;
  const std::wstring log = probe.folder / L"logs\\windows-renderer.log";
  const auto result = probe.Run({L"graphics:first", L"contains:" + log + L"|[graphics] first", L"graphics:second",
                                 L"contains:" + log + L"|[graphics] second"},
                                {});
  EXPECT_EQ(result.exitCode, 0u);
}

TEST(StartupDiagnostics, ARelativeDirectoryTurnsStagesOffButStillTakesGraphicsLines) {
  ProbeFolder probe;
  TempFolder cwd;
  const auto result = probe.Run({L"stage:runner.entry", L"graphics:relative"}, DiagnosticsOn(L"reldiag"), cwd.path());
  ASSERT_EQ(result.exitCode, 0u);
  const auto text = ReadWholeFile(cwd / L"reldiag\\windows-renderer.log");
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(SplitLines(*text).size(), 1u);
  EXPECT_NE(text->find("[graphics] relative"), std::string::npos);
  EXPECT_FALSE(FileExists(probe.folder / L"logs\\windows-renderer.log"));
}

TEST(StartupDiagnostics, AMissingLoggingLibraryWritesNothingAndRaisesNothing) {
  ProbeFolder probe(/*withLoggingLibrary=*/false);
  TempFolder logs;
  auto result = probe.Run({L"stage:runner.entry", L"graphics:x", L"flush"}, DiagnosticsOn(logs.path()));
  EXPECT_EQ(result.exitCode, 1u);
  EXPECT_FALSE(FileExists(logs / L"windows-renderer.log"));
  result = probe.Run({L"graphics:y"}, {});
  EXPECT_EQ(result.exitCode, 0u);
  EXPECT_FALSE(FileExists(probe.folder / L"logs\\windows-renderer.log"));
}

}  // namespace
}  // namespace orv::test
