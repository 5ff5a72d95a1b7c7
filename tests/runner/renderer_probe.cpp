// Test program: applies the renderer policy to one of the test engine
// libraries (or none), lets it create a device, verifies the adapter and
// writes what happened to the report file named by the first argument.
//   renderer_probe REPORT ENGINE-DLL|none

#include <windows.h>

#include <string>

#include "native/common/environment.h"
#include "runner/renderer_policy.h"
#include "runner/startup_diagnostics.h"
#include "tests/support/process.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring engineName = argv[2];
  HMODULE engine = engineName == L"none" ? nullptr : ::LoadLibraryW(engineName.c_str());
  std::string report;
  const bool applied = orv::ApplyRendererPolicy(engine);
  report += "apply=" + std::to_string(applied) + "\n";
  report += "software=" + orv::test::Narrow(orv::ReadEnvironmentText(L"ORV_INTERNAL_SOFTWARE_RENDERING")) + "\n";
  report += "corner=" + orv::test::Narrow(orv::ReadEnvironmentText(L"ORV_INTERNAL_WINDOW_CORNER_FALLBACK")) + "\n";
  if (applied && engine != nullptr) {
    using CreateFn = HRESULT (*)(IDXGIAdapter**);
    auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(::GetProcAddress(engine, "CreateEngineDevice")));
    IDXGIAdapter* adapter = nullptr;
    const HRESULT hr = create != nullptr ? create(&adapter) : E_NOINTERFACE;
    report += "device=" + std::to_string(static_cast<long>(hr)) + "\n";
    report += "verify=" + std::to_string(orv::VerifyGraphicsAdapter(adapter, "main")) + "\n";
    report += "usesSoftware=" + std::to_string(orv::UsesSoftwareRendering()) + "\n";
    report += "softwareAfter=" +
              orv::test::Narrow(orv::ReadEnvironmentText(L"ORV_INTERNAL_SOFTWARE_RENDERING")) + "\n";
    report += "secondaryNull=" + std::to_string(orv::VerifyGraphicsAdapter(nullptr, "secondary")) + "\n";
    if (adapter != nullptr) adapter->Release();
  }
  orv::FlushStartupDiagnostics(5000);
  return orv::test::WriteWholeFile(argv[1], report) ? 0 : 3;
}
