// Process entry of kilna.exe.

#include <windows.h>

#include "native/user/user_context.h"
#include "runner/startup/dll_search.h"
#include "runner/startup/startup_sequence.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // First of all: the process runs elevated, often from a folder the user can
  // write to, so no later load by name may look there for a system DLL.
  // Without the loader update only the current folder is taken out, and the
  // process goes on: nothing to act on.
  (void)orv::LimitDllSearchToSystemFolder();
  // Before anything else, not even a stage line: without the interactive user
  // there is nothing this process may do.
  if (!orv::CaptureUserContext(true)) return static_cast<int>(::GetLastError());
  // A load-time import, so already loaded.
  return orv::RunStartupSequence(::GetModuleHandleW(L"flutter_windows.dll"));
}
