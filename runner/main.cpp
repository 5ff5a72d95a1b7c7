// Process entry of kilna.exe.

#include <windows.h>

#include "runner/startup_diagnostics.h"

namespace {

// Time the background log writer gets at exit to finish the last stages.
constexpr DWORD kDiagnosticsFlushMs = 2000;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  orv::RecordStartupStage("runner.entry");
  orv::FlushStartupDiagnostics(kDiagnosticsFlushMs);
  return 0;
}
