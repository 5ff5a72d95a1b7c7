// Faults in one of the ways whose trace in a Windows test's output fails the
// test (cmake/kilna_tests.cmake), inside a child process of its own, and then
// exits 0 itself: its test can fail only through the pattern that sees the
// fault in the output, never through an exit code.
//
//   crash_probe KIND          runs "crash_probe KIND child" and waits for it
//   crash_probe KIND child    faults: page_fault, unhandled_exception, or
//                             window_procedure (an exception Wine swallows)
//
// The child's own exit says which: a fault that did not happen is reported,
// and its test then passes where it should fail.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr DWORD kProbeException = 0xE0C0FFEE;

// A page reserved and never committed: a write there faults on any system.
// (A write through a null pointer was seen to go through under this Wine.)
void WriteToNowhere() {
  auto* volatile nowhere = static_cast<int*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS));
  *nowhere = 1;
}

LRESULT CALLBACK FaultingProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // WM_DESTROY arrives through a user-mode callback, where Wine catches the
  // fault, says so, and cuts the procedure short.
  if (message == WM_DESTROY) WriteToNowhere();
  return DefWindowProcW(window, message, wparam, lparam);
}

int FaultInWindowProcedure() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = FaultingProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"KilnaCrashProbe";
  if (!RegisterClassW(&windowClass)) return 2;
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
  if (!window) return 2;
  DestroyWindow(window);
  return 0;
}

int Fault(const std::wstring& kind) {
  if (kind == L"page_fault") {
    WriteToNowhere();
  } else if (kind == L"unhandled_exception") {
    RaiseException(kProbeException, 0, 0, nullptr);
  } else if (kind == L"window_procedure") {
    return FaultInWindowProcedure();
  }
  return 3;  // no such kind, or the fault did not end the process
}

// What the child's exit code should be after the fault.
DWORD ExpectedExit(const std::wstring& kind) {
  if (kind == L"page_fault") return EXCEPTION_ACCESS_VIOLATION;
  if (kind == L"unhandled_exception") return kProbeException;
  return 0;
}

// Wine's own lines about a fault ("wine: ..." and its debug channel's
// "NNNN:err:seh:..."), without the debugger's report that follows them: that
// report says "Unhandled exception" for every kind, and would hide whether the
// pattern meant for each kind catches it.
bool IsWinesOwnLine(const std::string& line) {
  if (line.rfind("wine: ", 0) == 0) return true;
  return line.size() > 9 && line.compare(4, 5, ":err:") == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[2]) == L"child") return Fault(argv[1]);
  if (argc != 2) {
    std::fputs("usage: crash_probe page_fault|unhandled_exception|window_procedure\n", stderr);
    return 0;
  }
  wchar_t self[MAX_PATH];
  if (!GetModuleFileNameW(nullptr, self, MAX_PATH)) return 0;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return 0;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  std::wstring command = L"\"" + std::wstring(self) + L"\" " + argv[1] + L" child";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION child{};
  const BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
  const DWORD startError = GetLastError();
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    std::printf("crash_probe: the child did not start (%lu)\n", startError);
    return 0;
  }
  // Until the child and the debugger it may have started have both let go.
  std::string output;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got > 0) output.append(chunk, got);
  CloseHandle(readEnd);
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);

  int leftOut = 0;
  size_t begin = 0;
  while (begin < output.size()) {
    size_t end = output.find('\n', begin);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(begin, end - begin);
    if (IsWinesOwnLine(line)) {
      std::printf("%s\n", line.c_str());
    } else {
      ++leftOut;
    }
    begin = end + 1;
  }
  std::printf("crash_probe: %ls ended the child with 0x%08lx (expected 0x%08lx); %d other lines left out\n", argv[1],
              code, ExpectedExit(argv[1]), leftOut);
  std::fflush(stdout);
  return 0;
}
