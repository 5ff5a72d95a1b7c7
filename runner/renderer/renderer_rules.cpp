#include "runner/renderer/renderer_rules.h"

#include <cstdio>
#include <cwctype>

namespace orv {
namespace {

bool IsTrimmed(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

bool Contains(std::wstring_view text, std::wstring_view part) { return text.find(part) != std::wstring_view::npos; }

std::string Format(size_t capacity, const char* format, auto... args) {
  std::string line(capacity, '\0');
  const int written = std::snprintf(line.data(), capacity, format, args...);
  if (written < 0) return {};
  line.resize(static_cast<size_t>(written) < capacity ? static_cast<size_t>(written) : capacity - 1);
  return line;
}

}  // namespace

std::wstring NormaliseSetting(std::wstring_view value) {
  size_t begin = 0, end = value.size();
  while (begin < end && IsTrimmed(value[begin])) ++begin;
  while (end > begin && IsTrimmed(value[end - 1])) --end;
  std::wstring result(value.substr(begin, end - begin));
  for (auto& c : result) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
  return result;
}

bool ChooseWarp(std::wstring_view rendererSetting, bool vmware, bool remote) {
  const std::wstring setting = NormaliseSetting(rendererSetting);
  if (setting == L"warp") return true;
  if (setting == L"hardware") return false;
  return vmware || remote;
}

bool IsRemoteSessionName(std::wstring_view sessionName) {
  const std::wstring name = NormaliseSetting(sessionName);
  return name.starts_with(L"rdp-") || name.starts_with(L"rdp#") || name == L"remote";
}

bool IsVirtualFirmware(std::wstring_view manufacturerRaw, std::wstring_view productRaw) {
  const std::wstring manufacturer = NormaliseSetting(manufacturerRaw);
  const std::wstring product = NormaliseSetting(productRaw);
  return Contains(manufacturer, L"vmware") || Contains(product, L"vmware") || Contains(product, L"virtualbox") ||
         Contains(manufacturer, L"parallels") || Contains(product, L"parallels") || manufacturer == L"qemu" ||
         Contains(product, L"qemu") || (manufacturer == L"microsoft corporation" && product == L"virtual machine");
}

std::string FormatPolicyLine(bool warp, bool remote, bool vmware, bool virtualHardware, bool cornerFallback) {
  return Format(kPolicyLineCapacity, "policy=%s remote=%d vmware=%d virtualHardware=%d cornerFallback=%d",
                warp ? "WARP" : "default", remote ? 1 : 0, vmware ? 1 : 0, virtualHardware ? 1 : 0,
                cornerFallback ? 1 : 0);
}

std::string FormatWarpDeviceLine(long result) {
  return Format(kPolicyLineCapacity, "D3D11CreateDevice driver=WARP hr=0x%08lx", static_cast<unsigned long>(result));
}

bool IsSoftwareAdapter(const AdapterFacts& a) {
  return a.described && ((a.flags & kSoftwareAdapterFlag) != 0 || (a.vendorId == 0x1414 && a.deviceId == 0x8C));
}

std::string FormatAdapterLine(const char* window, const AdapterFacts& a, unsigned warpDevices,
                              unsigned long long durationMs) {
  const bool software = IsSoftwareAdapter(a);
  const char* evidence = !a.described                        ? "unavailable"
                         : (a.flags & kSoftwareAdapterFlag) ? "dxgiFlag"
                         : software                          ? "basicRenderIdentity"
                                                             : "hardwareIdentity";
  const unsigned vendor = a.described ? a.vendorId : 0;
  const unsigned device = a.described ? a.deviceId : 0;
  const unsigned flags = a.described ? a.flags : 0;
  return Format(kAdapterLineCapacity,
                "window=%s adapter=%s vendor=0x%04x device=0x%04x flags=0x%x software=%d softwareEvidence=%s "
                "warpDevices=%u stage=adapter.inspect parent=graphics.adapterVerify status=%s durationMs=%llu "
                "timingScope=leaf",
                window != nullptr ? window : "", a.described ? a.description.c_str() : "unavailable", vendor, device,
                flags, software ? 1 : 0, evidence, warpDevices, a.described ? "success" : "failed", durationMs);
}

bool AdapterAcceptable(bool warpPolicy, bool software, unsigned warpDevices) {
  return !warpPolicy || (software && warpDevices > 0);
}

}  // namespace orv
