#include "runner/diagnostics/diagnostics_paths.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(DiagnosticsPaths, AbsolutePathRules) {
  struct Row {
    const wchar_t* path;
    bool absolute;
  };
  const Row rows[] = {
      {L"C:\\logs", true},      {L"c:/logs", true},        {L"C:\\", true},
      {L"C:", false},           {L"C:logs", false},        {L"1:\\logs", false},
      {L"\\\\server\\share", true}, {L"//server/share", true}, {L"\\\\?\\C:\\logs", true},
      {L"\\\\.\\pipe\\x", true}, {L"\\\\", false},          {L"\\\\\\x", false},
      {L"\\logs", false},       {L"logs", false},          {L"", false},
  };
  for (const auto& row : rows) EXPECT_EQ(IsAbsoluteWindowsPath(row.path), row.absolute) << row.path;
}

TEST(DiagnosticsPaths, StageLinesNeedExactlyOneAndAnAbsoluteDirectory) {
  EXPECT_TRUE(StartupDiagnosticsRequested(L"1", L"C:\\diag"));
  EXPECT_TRUE(StartupDiagnosticsRequested(L"1", L"\\\\host\\share\\diag"));
  for (const wchar_t* flag : {L"1 ", L" 1", L"true", L"01", L"", L"yes", L"2"}) {
    EXPECT_FALSE(StartupDiagnosticsRequested(flag, L"C:\\diag")) << flag;
  }
  EXPECT_FALSE(StartupDiagnosticsRequested(L"1", L""));
  EXPECT_FALSE(StartupDiagnosticsRequested(L"1", L"diag"));
  EXPECT_FALSE(StartupDiagnosticsRequested(L"1", L"D:"));
}

TEST(DiagnosticsPaths, LogFileJoinRules) {
  EXPECT_EQ(JoinLogFilePath(L"C:\\diag", L"f.log"), L"C:\\diag\\f.log");
  EXPECT_EQ(JoinLogFilePath(L"C:\\diag\\", L"f.log"), L"C:\\diag\\f.log");
  EXPECT_EQ(JoinLogFilePath(L"C:/diag/", L"f.log"), L"C:/diag/f.log");
  EXPECT_EQ(JoinLogFilePath(L"D:", L"f.log"), L"D:f.log");
  EXPECT_EQ(JoinLogFilePath(L"", L"f.log"), L"f.log");
  EXPECT_EQ(JoinLogFilePath(L"rel", L"f.log"), L"rel\\f.log");
}

TEST(DiagnosticsPaths, ExecutableFolders) {
  std::wstring_view folder;
  ASSERT_TRUE(TextBeforeLastSeparator(L"C:\\app\\kilna.exe", folder));
  EXPECT_EQ(folder, L"C:\\app");
  ASSERT_TRUE(TextBeforeLastSeparator(L"C:/app/kilna.exe", folder));
  EXPECT_EQ(folder, L"C:/app");
  EXPECT_FALSE(TextBeforeLastSeparator(L"kilna.exe", folder));

  EXPECT_EQ(ModuleFolder(L"C:\\app\\\\kilna.exe"), L"C:\\app");
  EXPECT_EQ(ModuleFolder(L"C:\\kilna.exe"), L"C:");
  EXPECT_EQ(ModuleFolder(L"kilna.exe"), L"");
}

}  // namespace
}  // namespace orv
