// Test program: applies the renderer policy to one of the test engine
// libraries (or none), lets it create a device, verifies the adapter and
// writes what happened to the report file named by the first argument.
//   renderer_probe REPORT ENGINE-DLL|none|fakes [starved]
// "fakes" checks made-up adapters, each under its window label, and reports
// ORV_INTERNAL_SOFTWARE_RENDERING after each check.
// With "starved", every allocation of this program fails while the engine
// creates its device.

#include <windows.h>

#include <dxgi.h>

#include <cstdlib>
#include <new>
#include <string>

#include "native/common/environment.h"
#include "runner/diagnostics/startup_diagnostics.h"
#include "runner/renderer/renderer_policy.h"
#include "tests/support/process.h"

namespace {

thread_local bool t_starved = false;

// An adapter that only describes itself.
class FakeAdapter : public IDXGIAdapter1 {
 public:
  FakeAdapter(UINT vendor, UINT device, UINT flags) {
    description_.VendorId = vendor;
    description_.DeviceId = device;
    description_.Flags = flags;
    wcscpy_s(description_.Description, L"Fake Adapter");
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != __uuidof(IUnknown) && iid != __uuidof(IDXGIObject) && iid != __uuidof(IDXGIAdapter) &&
        iid != __uuidof(IDXGIAdapter1)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IDXGIAdapter1*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID, UINT, const void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetPrivateDataInterface(REFGUID, const IUnknown*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID, UINT*, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetParent(REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumOutputs(UINT, IDXGIOutput**) override { return DXGI_ERROR_NOT_FOUND; }
  HRESULT STDMETHODCALLTYPE GetDesc(DXGI_ADAPTER_DESC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CheckInterfaceSupport(REFGUID, LARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDesc1(DXGI_ADAPTER_DESC1* description) override {
    *description = description_;
    return S_OK;
  }

 private:
  DXGI_ADAPTER_DESC1 description_{};
  ULONG references_ = 1;
};

std::string SoftwareFlag() { return orv::test::Narrow(orv::ReadEnvironmentText(L"ORV_INTERNAL_SOFTWARE_RENDERING")); }

// Only the main window's described adapter may write the flag.
std::string CheckFakes() {
  FakeAdapter dxgiSoftware(0x10DE, 0x1234, DXGI_ADAPTER_FLAG_SOFTWARE);
  FakeAdapter basicRender(0x1414, 0x8C, 0);
  FakeAdapter hardware(0x10DE, 0x1234, 0);
  std::string report;
  ::SetEnvironmentVariableW(L"ORV_INTERNAL_SOFTWARE_RENDERING", L"unset");
  // What is reported is the flag each check leaves behind, not its answer.
  (void)orv::VerifyGraphicsAdapter(nullptr, "main");
  report += "mainUndescribed=" + SoftwareFlag() + "\n";
  (void)orv::VerifyGraphicsAdapter(&dxgiSoftware, "secondary");
  report += "secondarySoftware=" + SoftwareFlag() + "\n";
  (void)orv::VerifyGraphicsAdapter(&dxgiSoftware, "main");
  report += "mainDxgiSoftware=" + SoftwareFlag() + "\n";
  (void)orv::VerifyGraphicsAdapter(&hardware, "main");
  report += "mainHardware=" + SoftwareFlag() + "\n";
  (void)orv::VerifyGraphicsAdapter(&basicRender, "main");
  report += "mainBasicRender=" + SoftwareFlag() + "\n";
  report += "usesSoftwareAfterBasicRender=" + std::to_string(orv::UsesSoftwareRendering()) + "\n";
  (void)orv::VerifyGraphicsAdapter(nullptr, "main");
  report += "mainUndescribedAfter=" + SoftwareFlag() + "\n";
  return report;
}

}  // namespace

void* operator new(std::size_t size) {
  if (t_starved) throw std::bad_alloc();
  if (void* block = std::malloc(size != 0 ? size : 1)) return block;
  throw std::bad_alloc();
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring engineName = argv[2];
  const bool fakes = engineName == L"fakes";
  HMODULE engine = engineName == L"none" || fakes ? nullptr : ::LoadLibraryW(engineName.c_str());
  std::string report;
  const bool applied = orv::ApplyRendererPolicy(engine);
  report += "apply=" + std::to_string(applied) + "\n";
  report += "software=" + orv::test::Narrow(orv::ReadEnvironmentText(L"ORV_INTERNAL_SOFTWARE_RENDERING")) + "\n";
  report += "corner=" + orv::test::Narrow(orv::ReadEnvironmentText(L"ORV_INTERNAL_WINDOW_CORNER_FALLBACK")) + "\n";
  if (fakes) report += CheckFakes();
  if (applied && engine != nullptr) {
    using CreateFn = HRESULT (*)(IDXGIAdapter**);
    auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(::GetProcAddress(engine, "CreateEngineDevice")));
    IDXGIAdapter* adapter = nullptr;
    t_starved = argc > 3 && std::wstring(argv[3]) == L"starved";
    const HRESULT hr = create != nullptr ? create(&adapter) : E_NOINTERFACE;
    t_starved = false;
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
