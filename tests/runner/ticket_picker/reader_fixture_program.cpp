// A small program for the metadata reader's tests. The build links it under
// several names with different resources (version block and icon, or none).
//   (no arguments)                exits at once
//   --wait QUIT [READY]           sets the named event READY, then waits for QUIT
//   --launch CHILD QUIT READY     starts CHILD --wait QUIT READY, then waits for QUIT
// It never waits longer than kMaxWaitMs, so a failed test leaves nothing behind.

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

constexpr DWORD kMaxWaitMs = 20000;

void SetNamedEvent(const wchar_t* name) {
  HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
  if (event == nullptr) return;
  ::SetEvent(event);
  ::CloseHandle(event);
}

void WaitForNamedEvent(const wchar_t* name) {
  HANDLE event = ::OpenEventW(SYNCHRONIZE, FALSE, name);
  if (event == nullptr) return;
  ::WaitForSingleObject(event, kMaxWaitMs);
  ::CloseHandle(event);
}

bool StartChild(const std::wstring& child, const std::wstring& quit, const std::wstring& ready) {
  std::wstring commandLine = L"\"" + child + L"\" --wait " + quit + L" " + ready;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(child.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr) return 1;
  int exitCode = 0;
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"--wait" && argc >= 3) {
    if (argc >= 4) SetNamedEvent(argv[3]);
    WaitForNamedEvent(argv[2]);
  } else if (mode == L"--launch" && argc >= 5) {
    if (StartChild(argv[2], argv[3], argv[4])) {
      WaitForNamedEvent(argv[3]);
    } else {
      exitCode = 2;
    }
  }
  ::LocalFree(argv);
  return exitCode;
}
