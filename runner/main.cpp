// Process entry of kilna.exe.

#include <windows.h>

#include "native/user/user_context.h"
#include "runner/startup_diagnostics.h"

namespace {

// Time the background log writer gets at exit to finish the last stages.
constexpr DWORD kDiagnosticsFlushMs = 2000;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything else, not even a stage line: without the interactive user
  // there is nothing this process may do.
  if (!orv::CaptureUserContext(true)) return static_cast<int>(::GetLastError());
  orv::RecordStartupStage("runner.entry");
  orv::FlushStartupDiagnostics(kDiagnosticsFlushMs);
  return 0;
}
