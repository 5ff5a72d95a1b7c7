#pragma once
// Decisions and log lines of the renderer policy, apart from the platform
// calls that feed them. Portable: no Windows header.

#include <cstddef>
#include <string>
#include <string_view>

namespace orv {

// Blanks, tabs, CR and LF trimmed at both ends, then lower-cased.
std::wstring NormaliseSetting(std::wstring_view value);

// ORV_WINDOWS_RENDERER: "warp" forces WARP, "hardware" forbids it, anything
// else leaves it to the machine (VMware adapter or remote session).
bool ChooseWarp(std::wstring_view rendererSetting, bool vmware, bool remote);

// SESSIONNAME of a remote desktop session: "RDP-Tcp#0", "rdp#1", "Remote".
bool IsRemoteSessionName(std::wstring_view sessionName);

// Firmware strings of a virtual machine.
bool IsVirtualFirmware(std::wstring_view manufacturer, std::wstring_view product);

inline constexpr size_t kPolicyLineCapacity = 160;
inline constexpr size_t kAdapterLineCapacity = 768;

std::string FormatPolicyLine(bool warp, bool remote, bool vmware, bool virtualHardware, bool cornerFallback);
std::string FormatWarpDeviceLine(long result);

struct AdapterFacts {
  bool described = false;
  std::string description;  // UTF-8
  unsigned vendorId = 0, deviceId = 0, flags = 0;
};

inline constexpr unsigned kSoftwareAdapterFlag = 2;

// Software adapters: the software flag, or the basic render driver's identity.
bool IsSoftwareAdapter(const AdapterFacts& adapter);

std::string FormatAdapterLine(const char* window, const AdapterFacts& adapter, unsigned warpDevices,
                              unsigned long long durationMs);

// The adapter check passes without WARP; with WARP only on a software
// adapter after at least one WARP device was made.
bool AdapterAcceptable(bool warpPolicy, bool software, unsigned warpDevices);

}  // namespace orv
