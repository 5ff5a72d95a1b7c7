// Process entry of kilna.exe.

#include <windows.h>

#include "native/user/user_context.h"
#include "runner/startup/startup_sequence.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything else, not even a stage line: without the interactive user
  // there is nothing this process may do.
  if (!orv::CaptureUserContext(true)) return static_cast<int>(::GetLastError());
  // A load-time import, so already loaded.
  return orv::RunStartupSequence(::GetModuleHandleW(L"flutter_windows.dll"));
}
