#pragma once
// Test support: runs the real kilna.exe under an interface script and
// collects what it left behind (exit code, transcript, startup stages).

#include <string>
#include <vector>

#include "tests/support/process.h"

namespace orv::test {

struct KilnaRun {
  ProcessResult process;
  std::vector<std::string> transcript;  // one JSON object per line
  std::vector<std::string> stages;      // stage names in log order
  std::vector<std::string> graphics;    // text of the [graphics] lines
  std::string log;                      // windows-renderer.log as written
  std::string output;                   // standard output and error, Wine's messages included
};

struct KilnaOptions {
  std::vector<std::string> script;  // lines of the interface script
  std::vector<std::wstring> arguments;
  EnvironmentChanges environment;
  bool diagnostics = true;
  DWORD timeoutMs = 60000;
  std::wstring executable;  // defaults to kilna.exe beside the tests
  std::wstring workingDirectory;  // defaults to the executable's folder
};

// A kilna.exe started under its script, still running until Finish. Finish
// fails the current test when the run crashed or Wine swallowed an exception
// in it (a window procedure cut short).
class KilnaSession {
 public:
  explicit KilnaSession(const KilnaOptions& options);
  DWORD processId() const { return process_.id(); }
  KilnaRun Finish(DWORD timeoutMs = 60000);

 private:
  TempFolder work_;
  StartedProcess process_;
};

KilnaRun RunKilna(const KilnaOptions& options);

// Copies kilna.exe and every DLL beside it into `folder`, for runs of the
// executable from somewhere else; returns the copy's path, or "" on failure.
std::wstring CopyKilnaInto(const std::wstring& folder);

// The first transcript line containing every one of the fragments, or "".
std::string FindTranscriptLine(const KilnaRun& run, const std::vector<std::string>& fragments);

// The top-level runner window of the process, once it exists; null if it
// does not appear in time.
HWND WaitForMainWindow(DWORD processId, DWORD timeoutMs = 5000);

}  // namespace orv::test
