#pragma once
// Which rasteriser the engine gets: Direct3D 11 on the hardware adapter, or
// WARP in remote sessions, on VMware display adapters or when
// ORV_WINDOWS_RENDERER demands it.

#include <windows.h>

#include <d3d11.h>
#include <dxgi.h>

namespace orv {

// Decides the policy, publishes the internal variables and, under WARP,
// redirects the engine's device creation. False: the process must not start.
[[nodiscard]] bool ApplyRendererPolicy(HMODULE engine) noexcept;

// Logs what the engine got; false when WARP was demanded and not obtained.
// Does not take over the caller's reference.
[[nodiscard]] bool VerifyGraphicsAdapter(IDXGIAdapter* adapter, const char* window) noexcept;

bool IsRemoteSession() noexcept;
bool UsesSoftwareRendering() noexcept;
bool HasVmwareAdapter() noexcept;
bool IsVirtualHardware() noexcept;

// Stand-ins for the engine's imports, with the exact signatures of the originals.
FARPROC WINAPI WarpGetProcAddress(HMODULE module, LPCSTR name) noexcept;
HRESULT WINAPI WarpCreateDevice(IDXGIAdapter* adapter, D3D_DRIVER_TYPE driverType, HMODULE software, UINT flags,
                                const D3D_FEATURE_LEVEL* featureLevels, UINT featureLevelCount, UINT sdkVersion,
                                ID3D11Device** device, D3D_FEATURE_LEVEL* featureLevel,
                                ID3D11DeviceContext** context) noexcept;

}  // namespace orv
