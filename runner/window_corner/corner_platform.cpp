#include "runner/window_corner/corner_platform.h"

#include "native/common/proc_address.h"
#include "native/common/system_library.h"

namespace orv {
namespace {

const CornerPlatform* g_active = nullptr;  // the real table

}  // namespace

const CornerPlatform& RealCornerPlatform() noexcept {
  static const CornerPlatform real = [] {
    const SystemLibrary& dwm = KeptSystemLibrary<system_dll::kDwmapi>();
    const SystemLibrary& controls = KeptSystemLibrary<system_dll::kComctl32>();
    CornerPlatform platform;
    platform.DwmSetWindowAttribute =
        dwm.FindOr<decltype(platform.DwmSetWindowAttribute), kProcNotFoundHresult>("DwmSetWindowAttribute");
    platform.SetWindowSubclass = controls.FindOr<decltype(platform.SetWindowSubclass), FALSE>("SetWindowSubclass");
    platform.DefSubclassProc = controls.FindOr<decltype(platform.DefSubclassProc), 0>("DefSubclassProc");
    platform.RemoveWindowSubclass =
        controls.FindOr<decltype(platform.RemoveWindowSubclass), FALSE>("RemoveWindowSubclass");
    return platform;
  }();
  return real;
}

RtlGetVersionFn FindRtlGetVersion() noexcept {
  return ResolveProc<RtlGetVersionFn>(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
}

GetDpiForWindowFn FindGetDpiForWindow() noexcept {
  return ResolveProc<GetDpiForWindowFn>(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
}

const CornerPlatform& ActiveCornerPlatform() noexcept {
  return g_active != nullptr ? *g_active : RealCornerPlatform();
}

CornerPlatformOverride::CornerPlatformOverride(const CornerPlatform& platform) noexcept : previous_(g_active) {
  g_active = &platform;
}

CornerPlatformOverride::~CornerPlatformOverride() { g_active = previous_; }

void SetWindowDwmAttribute(HWND window, DWORD attribute, DWORD value) noexcept {
  ActiveCornerPlatform().DwmSetWindowAttribute(window, attribute, &value, sizeof value);
}

}  // namespace orv
