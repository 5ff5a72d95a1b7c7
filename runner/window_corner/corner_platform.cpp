#include "runner/window_corner/corner_platform.h"

#include "native/common/proc_address.h"

namespace orv {
namespace {

const CornerPlatform kRealPlatform{};
const CornerPlatform* g_active = &kRealPlatform;

}  // namespace

RtlGetVersionFn FindRtlGetVersion() noexcept {
  return ResolveProc<RtlGetVersionFn>(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
}

GetDpiForWindowFn FindGetDpiForWindow() noexcept {
  return ResolveProc<GetDpiForWindowFn>(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
}

const CornerPlatform& ActiveCornerPlatform() noexcept { return *g_active; }

CornerPlatformOverride::CornerPlatformOverride(const CornerPlatform& platform) noexcept : previous_(g_active) {
  g_active = &platform;
}

CornerPlatformOverride::~CornerPlatformOverride() { g_active = previous_; }

void SetWindowDwmAttribute(HWND window, DWORD attribute, DWORD value) noexcept {
  ActiveCornerPlatform().DwmSetWindowAttribute(window, attribute, &value, sizeof value);
}

}  // namespace orv
