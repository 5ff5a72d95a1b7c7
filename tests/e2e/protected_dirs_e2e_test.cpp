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

// Removes a folder from the Unix side, where nothing holds it: Windows (and
// Wine's Windows side) refuse to remove a process's current directory, but a
// folder can still vanish under a running program this way.
bool RemoveBehindWinesBack(const std::wstring& folder, std::string& problem) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  const auto unixName = reinterpret_cast<UnixName>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unixName == nullptr) return problem = "not under Wine", false;
  char* name = unixName(folder.c_str());
  if (name == nullptr) return problem = "no Unix name", false;
  const std::wstring unixFolder = Widen(name);
  ::HeapFree(::GetProcessHeap(), 0, name);
  // Wine hands a Unix program to the system and gives back no process to
  // wait for: watch the folder go instead.
  std::wstring commandLine = L"rmdir " + QuoteArgument(unixFolder);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(L"Z:\\bin\\rmdir", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return problem = "rmdir did not start: " + std::to_string(::GetLastError()), false;
  }
  if (info.hThread != nullptr) ::CloseHandle(info.hThread);
  if (info.hProcess != nullptr) ::CloseHandle(info.hProcess);
  for (int i = 0; i < 200 && ::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) ::Sleep(25);
  if (::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) return problem = "still there", false;
  return true;
}

// Started in a folder that is then removed, kilna.exe still walks each path
// up to the drive's root ("C:\\"), not to "C:", which names that vanished
// current directory: the work base's chain is found clean and the base is
// made (Wine then refuses its ACL, as above).
TEST(KilnaProtectedDirs, ARemovedCurrentDirectoryDoesNotBreakTheChain) {
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  wchar_t programData[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"ProgramData", programData, MAX_PATH);
  ASSERT_TRUE(length > 0 && length < MAX_PATH);
  const std::wstring workBase = std::wstring(programData) + L"\\KilnaElevatedWork";
  ::RemoveDirectoryW(workBase.c_str());
  ASSERT_EQ(::GetFileAttributesW(workBase.c_str()), INVALID_FILE_ATTRIBUTES) << "the work base is in use";

  TempFolder folder;
  KilnaOptions options;
  options.workingDirectory = folder / L"current";
  ASSERT_TRUE(::CreateDirectoryW(options.workingDirectory.c_str(), nullptr));
  constexpr DWORD kRemovalWindowMs = 8000;  // the script waits this long before its call
  options.script = {
      R"({"op":"wait","ms":8000})",
      R"({"op":"ffi","name":"OrvCreateProtectedTemp","args":["work"]})",
      R"({"op":"quit"})",
  };
  const ULONGLONG started = ::GetTickCount64();
  KilnaSession session(options);
  // Once the window exists, kilna.exe runs in its current directory.
  const bool running = WaitForMainWindow(session.processId()) != nullptr;
  std::string problem;
  const bool removed = running && RemoveBehindWinesBack(options.workingDirectory, problem);
  const ULONGLONG removedAfter = ::GetTickCount64() - started;
  const KilnaRun run = session.Finish();
  ASSERT_TRUE(running) << run.log;
  ASSERT_TRUE(removed) << "the current directory of kilna.exe could not be removed: " << problem;
  ASSERT_LT(removedAfter, kRemovalWindowMs) << "removed only after the call";
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_EQ(run.process.exitCode, 0u) << run.log;
  const std::vector<std::string> expected = {
      R"({"op":"ffi","name":"OrvCreateProtectedTemp","result":5,"out":{"outPath":null}})",
  };
  EXPECT_EQ(ProtectedDirectoryReplies(run), expected) << run.log;
  const DWORD attributes = ::GetFileAttributesW(workBase.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      << "the work base was never made: its chain was refused";
}

}  // namespace
}  // namespace orv::test
