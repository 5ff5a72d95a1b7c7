#include "tests/support/shell_standin.h"

#include "tests/support/process.h"

namespace orv::test {

DWORD ShellWindowProcessId() {
  const HWND shell = ::GetShellWindow();
  if (shell == nullptr) return 0;
  DWORD processId = 0;
  ::GetWindowThreadProcessId(shell, &processId);
  return processId;
}

ShellStandIn::ShellStandIn(DWORD readyTimeoutMs) {
  if (const DWORD owner = ShellWindowProcessId(); owner != 0) {
    problem_ = "another process already holds the shell window: " + std::to_string(owner);
    return;
  }
  std::wstring executable = BinaryFolder() + L"\\standin_shell.exe";
  std::wstring commandLine = QuoteArgument(executable);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
    problem_ = "standin_shell.exe did not start: " + std::to_string(::GetLastError());
    return;
  }
  ::CloseHandle(info.hThread);
  process_.reset(info.hProcess);
  processId_ = info.dwProcessId;
  const ULONGLONG deadline = ::GetTickCount64() + readyTimeoutMs;
  while (::GetTickCount64() < deadline) {
    if (ShellWindowProcessId() == processId_) {
      ready_ = true;
      return;
    }
    if (::WaitForSingleObject(process_.get(), 20) == WAIT_OBJECT_0) {
      DWORD code = 0;
      ::GetExitCodeProcess(process_.get(), &code);
      problem_ = "standin_shell.exe ended with " + std::to_string(code);
      return;
    }
  }
  problem_ = "the shell window did not appear";
}

ShellStandIn::~ShellStandIn() {
  if (!process_) return;
  ::TerminateProcess(process_.get(), 0);
  ::WaitForSingleObject(process_.get(), 10000);
  process_.reset();
  // The next test must not see this shell's window any more.
  const ULONGLONG deadline = ::GetTickCount64() + 5000;
  while (ShellWindowProcessId() == processId_ && ::GetTickCount64() < deadline) ::Sleep(20);
}

}  // namespace orv::test
