// Test program: drives the startup diagnostics of a fresh process from its
// arguments. "stage:NAME", "graphics:TEXT", "flush", and "contains:PATH|TEXT"
// (exit 3 unless the file already holds TEXT). Exit code 1 when diagnostics
// are on, 0 when off.

#include <windows.h>

#include <string>

#include "runner/diagnostics/startup_diagnostics.h"
#include "tests/support/process.h"

int wmain(int argc, wchar_t** argv) {
  using orv::test::Narrow;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg.rfind(L"stage:", 0) == 0) {
      orv::RecordStartupStage(Narrow(arg.substr(6)).c_str());
    } else if (arg.rfind(L"graphics:", 0) == 0) {
      orv::RecordGraphicsEvent(Narrow(arg.substr(9)).c_str());
    } else if (arg == L"flush") {
      orv::FlushStartupDiagnostics(10000);
    } else if (arg.rfind(L"contains:", 0) == 0) {
      const std::wstring rest = arg.substr(9);
      const size_t bar = rest.find(L'|');
      const auto bytes = orv::test::ReadWholeFile(rest.substr(0, bar));
      if (!bytes || bytes->find(Narrow(rest.substr(bar + 1))) == std::string::npos) return 3;
    } else {
      return 2;
    }
  }
  return orv::DiagnosticsEnabled() ? 1 : 0;
}
