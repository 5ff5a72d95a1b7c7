#include "tests/support/kilna_run.h"

#include <gtest/gtest.h>

#include "runner/window/win32_window.h"
#include "tests/support/document_archive.h"

namespace orv::test {

KilnaSession::KilnaSession(const KilnaOptions& options) {
  std::string script;
  for (const auto& line : options.script) script += line + "\n";
  WriteWholeFile(work_ / L"script.jsonl", script);

  EnvironmentChanges env = {
      {L"FLUTTER_STANDIN_SCRIPT", work_ / L"script.jsonl"},
      {L"FLUTTER_STANDIN_TRANSCRIPT", work_ / L"transcript.jsonl"},
      {L"ORV_DIAGNOSTICS_DIR", work_.path()},
      {L"ORV_STARTUP_DIAGNOSTICS", options.diagnostics ? std::optional<std::wstring>(L"1") : std::nullopt},
      {L"ORV_WINDOWS_RENDERER", std::nullopt},
      {L"FLUTTER_STANDIN_FIRST_FRAME_MS", std::nullopt},
  };
  for (const auto& [name, value] : options.environment) env[name] = value;

  const std::wstring executable = options.executable.empty() ? BinaryFolder() + L"\\kilna.exe" : options.executable;
  const std::wstring folder = executable.substr(0, executable.find_last_of(L'\\'));
  process_ = StartProcess(executable, options.arguments, env,
                          options.workingDirectory.empty() ? folder : options.workingDirectory, work_ / L"output.txt");
}

namespace {

// Wine's words for an exception it swallowed in a callback, and for a crash.
constexpr const char* kFaultMarks[] = {"ignoring exception", "Unhandled exception", "Unhandled page fault"};

// Exit codes at or above this are exception codes: the process crashed.
constexpr DWORD kFirstExceptionCode = 0xC0000000;

void FailOnFaults(const KilnaRun& run) {
  for (const char* mark : kFaultMarks) {
    if (run.output.find(mark) != std::string::npos) {
      ADD_FAILURE() << "kilna.exe faulted (" << mark << "); its output:\n" << run.output;
      return;
    }
  }
  if (!run.process.timedOut && run.process.exitCode >= kFirstExceptionCode) {
    ADD_FAILURE() << "kilna.exe crashed with 0x" << std::hex << run.process.exitCode << "; its output:\n"
                  << run.output;
  }
}

}  // namespace

KilnaRun KilnaSession::Finish(DWORD timeoutMs) {
  KilnaRun run;
  run.process = process_.Wait(timeoutMs);
  const std::string transcript = ReadWholeFile(work_ / L"transcript.jsonl").value_or("");
  ArchiveTranscript(transcript);
  run.transcript = SplitLines(transcript);
  run.log = ReadWholeFile(work_ / L"windows-renderer.log").value_or("");
  run.output = ReadWholeFile(work_ / L"output.txt").value_or("");
  FailOnFaults(run);
  for (const auto& line : SplitLines(run.log)) {
    if (const size_t at = line.find(" stage="); at != std::string::npos && line.find("[startup]") != std::string::npos) {
      const size_t end = line.find(' ', at + 7);
      run.stages.push_back(line.substr(at + 7, end - at - 7));
    } else if (const size_t g = line.find("[graphics] "); g != std::string::npos) {
      run.graphics.push_back(line.substr(g + 11));
    }
  }
  return run;
}

KilnaRun RunKilna(const KilnaOptions& options) { return KilnaSession(options).Finish(options.timeoutMs); }

std::wstring CopyKilnaInto(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((BinaryFolder() + L"\\*.dll").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return {};
  bool copied = true;
  do {
    copied = copied && CopyBinary(data.cFileName, folder);
  } while (::FindNextFileW(find, &data));
  ::FindClose(find);
  if (!copied || !CopyBinary(L"kilna.exe", folder)) return {};
  return folder + L"\\kilna.exe";
}

std::string FindTranscriptLine(const KilnaRun& run, const std::vector<std::string>& fragments) {
  for (const auto& line : run.transcript) {
    bool all = true;
    for (const auto& fragment : fragments) all = all && line.find(fragment) != std::string::npos;
    if (all) return line;
  }
  return {};
}

HWND WaitForMainWindow(DWORD processId, DWORD timeoutMs) {
  const ULONGLONG until = ::GetTickCount64() + timeoutMs;
  do {
    HWND window = nullptr;
    while ((window = ::FindWindowExW(nullptr, window, kRunnerWindowClass, nullptr)) != nullptr) {
      DWORD owner = 0;
      ::GetWindowThreadProcessId(window, &owner);
      if (owner == processId) return window;
    }
    ::Sleep(50);
  } while (::GetTickCount64() < until);
  return nullptr;
}

}  // namespace orv::test
