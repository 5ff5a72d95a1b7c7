// Test program: runs the entry's startup sequence with the named library (or
// none) as the engine module and exits with its exit code.
//   entry_probe ENGINE-DLL|none

#include <windows.h>

#include <string>

#include "runner/startup/startup_sequence.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring engineName = argv[1];
  HMODULE engine = engineName == L"none" ? nullptr : ::LoadLibraryW(engineName.c_str());
  return orv::RunStartupSequence(engine);
}
