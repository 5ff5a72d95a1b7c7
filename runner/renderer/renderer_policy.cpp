#include "runner/renderer/renderer_policy.h"

#include <atomic>
#include <string>

#include "native/common/com_ptr.h"
#include "native/common/environment.h"
#include "native/common/proc_address.h"
#include "native/common/system_library.h"
#include "native/common/text_conversion.h"
#include "runner/diagnostics/startup_diagnostics.h"
#include "runner/renderer/import_patch.h"
#include "runner/renderer/renderer_rules.h"

namespace orv {
namespace {

using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
using CreateDeviceFn = decltype(&::D3D11CreateDevice);
using CreateFactoryFn = decltype(&::CreateDXGIFactory1);

constexpr unsigned kVmwareVendor = 0x15AD;
constexpr size_t kAdapterDescriptionBytes = 128;

// Written on the main thread before the engine starts; read by engine threads.
bool g_warpPolicy = false;
bool g_softwareRendering = false;
std::atomic<unsigned> g_warpDevices{0};
HMODULE g_direct3d = nullptr;
GetProcAddressFn g_realGetProcAddress = nullptr;
CreateDeviceFn g_realCreateDevice = nullptr;

void SetInternalFlag(const wchar_t* name, bool on) { ::SetEnvironmentVariableW(name, on ? L"1" : L"0"); }

std::wstring ReadMachineString(const wchar_t* key, const wchar_t* value) {
  wchar_t buffer[256] = {};
  DWORD bytes = sizeof buffer;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS) {
    return {};
  }
  return buffer;
}

bool SessionDiffersFromConsoleSession() {
  DWORD glassSession = 0;
  DWORD bytes = sizeof glassSession;
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server", L"GlassSessionId",
                     RRF_RT_REG_DWORD, nullptr, &glassSession, &bytes) != ERROR_SUCCESS) {
    return false;
  }
  DWORD session = glassSession;  // the call may succeed without writing
  if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) return false;
  return session != glassSession;
}

AdapterFacts Describe(IDXGIAdapter* adapter) {
  AdapterFacts facts;
  if (adapter == nullptr) return facts;
  ComPtr<IDXGIAdapter1> adapter1;
  DXGI_ADAPTER_DESC1 desc{};
  if (FAILED(adapter->QueryInterface(__uuidof(IDXGIAdapter1), adapter1.put_void())) ||
      FAILED(adapter1->GetDesc1(&desc))) {
    return facts;
  }
  facts.described = true;
  facts.vendorId = desc.VendorId;
  facts.deviceId = desc.DeviceId;
  facts.flags = desc.Flags;
  std::string utf8;
  if (Utf16ToUtf8(desc.Description, utf8)) {
    if (utf8.size() >= kAdapterDescriptionBytes) {
      size_t cut = kAdapterDescriptionBytes - 1;
      while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;  // whole characters only
      utf8.resize(cut);
    }
    facts.description = utf8;
  }
  return facts;
}

bool PrepareWarp(HMODULE engine) {
  if (engine == nullptr) return false;
  g_direct3d = LoadSystemLibrary(system_dll::kDirect3D11);  // kept for good
  if (g_direct3d == nullptr) return false;
  g_realGetProcAddress = &::GetProcAddress;
  g_realCreateDevice = ProcAs<CreateDeviceFn>(g_realGetProcAddress(g_direct3d, "D3D11CreateDevice"));
  return g_realCreateDevice != nullptr;
}

}  // namespace

bool IsRemoteSession() noexcept {
  try {
    if (::GetSystemMetrics(SM_REMOTESESSION) != 0) return true;
    if (IsRemoteSessionName(ReadEnvironmentText(L"SESSIONNAME"))) return true;
    return SessionDiffersFromConsoleSession();
  } catch (...) {
    return false;
  }
}

bool HasVmwareAdapter() noexcept {
  // dxgi.dll from the system folder; without it there is no factory, so no VMware adapter.
  static const CreateFactoryFn createFactory =
      KeptSystemLibrary<system_dll::kDxgi>().FindOr<CreateFactoryFn, kProcNotFoundHresult>("CreateDXGIFactory1");
  ComPtr<IDXGIFactory1> factory;
  if (FAILED(createFactory(__uuidof(IDXGIFactory1), factory.put_void()))) return false;
  for (UINT index = 0;; ++index) {
    ComPtr<IDXGIAdapter1> adapter;
    if (FAILED(factory->EnumAdapters1(index, adapter.put()))) return false;
    DXGI_ADAPTER_DESC1 desc{};
    if (SUCCEEDED(adapter->GetDesc1(&desc)) && desc.VendorId == kVmwareVendor) return true;
  }
}

bool IsVirtualHardware() noexcept {
  try {
    constexpr wchar_t kBios[] = L"HARDWARE\\DESCRIPTION\\System\\BIOS";
    const std::wstring product = ReadMachineString(kBios, L"SystemProductName");
    const std::wstring manufacturer = ReadMachineString(kBios, L"SystemManufacturer");
    return IsVirtualFirmware(manufacturer, product);
  } catch (...) {
    return false;
  }
}

bool UsesSoftwareRendering() noexcept { return g_softwareRendering; }

bool ApplyRendererPolicy(HMODULE engine) noexcept {
  try {
    SetInternalFlag(L"ORV_INTERNAL_SOFTWARE_RENDERING", false);
    SetInternalFlag(L"ORV_INTERNAL_WINDOW_CORNER_FALLBACK", false);
    const bool remote = IsRemoteSession();
    const bool vmware = HasVmwareAdapter();
    const bool virtualHardware = IsVirtualHardware();
    const bool cornerFallback = vmware || virtualHardware || remote;
    SetInternalFlag(L"ORV_INTERNAL_WINDOW_CORNER_FALLBACK", cornerFallback);

    g_warpPolicy = ChooseWarp(ReadEnvironmentText(L"ORV_WINDOWS_RENDERER"), vmware, remote);
    RecordGraphicsEvent(FormatPolicyLine(g_warpPolicy, remote, vmware, virtualHardware, cornerFallback).c_str());
    if (!g_warpPolicy) return true;
    if (!PrepareWarp(engine)) return false;

    const bool lookup = PatchEngineImport(engine, "GetProcAddress", reinterpret_cast<const void*>(&WarpGetProcAddress));
    const bool direct = PatchEngineImport(engine, "D3D11CreateDevice", reinterpret_cast<const void*>(&WarpCreateDevice));
    if (lookup || direct) {
      RecordGraphicsEvent("engine WARP compatibility installed");
      return true;
    }
    RecordGraphicsEvent("ERROR: engine imports unsupported; refusing hardware fallback");
    return false;
  } catch (...) {
    return false;
  }
}

FARPROC WINAPI WarpGetProcAddress(HMODULE module, LPCSTR name) noexcept {
  const bool byName = reinterpret_cast<ULONG_PTR>(name) > 0xFFFF;
  if (module == g_direct3d && byName && std::string_view(name) == "D3D11CreateDevice") {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&WarpCreateDevice));
  }
  return g_realGetProcAddress(module, name);
}

HRESULT WINAPI WarpCreateDevice(IDXGIAdapter*, D3D_DRIVER_TYPE, HMODULE, UINT flags,
                                const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                                ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel,
                                ID3D11DeviceContext** context) noexcept {
  const HRESULT result = g_realCreateDevice(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, flags, featureLevels,
                                            featureLevelCount, sdkVersion, device, featureLevel, context);
  if (SUCCEEDED(result)) g_warpDevices.fetch_add(1);
  // This runs inside the engine's own graphics call: without memory for the
  // line, the line is skipped and the device result still goes back.
  try {
    RecordGraphicsEvent(FormatWarpDeviceLine(result).c_str());
  } catch (...) {
  }
  return result;
}

bool VerifyGraphicsAdapter(IDXGIAdapter* adapter, const char* window) noexcept {
  try {
    const ULONGLONG start = ::GetTickCount64();
    const AdapterFacts facts = Describe(adapter);
    const bool software = IsSoftwareAdapter(facts);
    const unsigned warpDevices = g_warpDevices.load();
    RecordGraphicsEvent(FormatAdapterLine(window, facts, warpDevices, ::GetTickCount64() - start).c_str());
    if (window != nullptr && std::string_view(window) == "main" && facts.described) {
      g_softwareRendering = software;
      SetInternalFlag(L"ORV_INTERNAL_SOFTWARE_RENDERING", software);
    }
    return AdapterAcceptable(g_warpPolicy, software, warpDevices);
  } catch (...) {
    return false;
  }
}

}  // namespace orv
