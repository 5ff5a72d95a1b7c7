// Test library standing in for an engine's way of making its Direct3D device:
// built three times: importing D3D11CreateDevice by name, looking it up at run
// time with GetProcAddress, and reaching it by neither route.

#include <windows.h>

#include <d3d11.h>

extern "C" __declspec(dllexport) HRESULT CreateEngineDevice(IDXGIAdapter** adapterOut) {
  *adapterOut = nullptr;
#if defined(KILNA_D3D_NONE)
  return E_NOTIMPL;
#else
#ifdef KILNA_D3D_LOOKUP
  HMODULE d3d = ::LoadLibraryW(L"d3d11.dll");
  auto create = reinterpret_cast<decltype(&::D3D11CreateDevice)>(
      reinterpret_cast<void*>(::GetProcAddress(d3d, "D3D11CreateDevice")));
  if (create == nullptr) return E_NOINTERFACE;
#else
  auto create = &::D3D11CreateDevice;
#endif
  ID3D11Device* device = nullptr;
  const HRESULT hr = create(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &device,
                            nullptr, nullptr);
  if (FAILED(hr)) return hr;
  IDXGIDevice* dxgi = nullptr;
  if (SUCCEEDED(device->QueryInterface(__uuidof(IDXGIDevice), reinterpret_cast<void**>(&dxgi)))) {
    dxgi->GetAdapter(adapterOut);
    dxgi->Release();
  }
  device->Release();
  return hr;
#endif
}
