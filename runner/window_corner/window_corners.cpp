#include "runner/window_corner/window_corners.h"

#include "native/common/scope_exit.h"
#include "runner/window_corner/corner_platform.h"
#include "runner/window_corner/region_corners.h"
#include "runner/window_corner/sdk_additions_dwm.h"

namespace orv {
namespace {

HANDLE PropertySet() { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1)); }

bool FallbackForced() {
  // Two characters: room for exactly one, so "10" or "1 " do not count.
  wchar_t value[2] = {};
  return ::GetEnvironmentVariableW(L"ORV_INTERNAL_WINDOW_CORNER_FALLBACK", value, 2) == 1 && value[0] == L'1';
}

void UseNativeRounding(HWND window) {
  if (::RemovePropW(window, kCornerFallbackProperty) != nullptr) {
    ClearLegacyRegion(window);
    SetWindowDwmAttribute(window, DWMWA_NCRENDERING_POLICY, DWMNCRP_USEWINDOWSTYLE);
  }
  SetWindowDwmAttribute(window, DWMWA_WINDOW_CORNER_PREFERENCE, DWMWCP_ROUND);
}

void UseFallbackCorners(HWND window, bool force) {
  ::SetPropW(window, kCornerFallbackProperty, PropertySet());
  if (IsWindows11Build()) SetWindowDwmAttribute(window, DWMWA_WINDOW_CORNER_PREFERENCE, DWMWCP_DONOTROUND);
  if (::GetPropW(window, kSmoothCornersProperty) != nullptr &&
      ::SendMessageW(window, SmoothCornersRefreshMessage(), force ? 1 : 0, 0) != 0) {
    return;  // the smooth edge took care of the corners
  }
  ApplyLegacyRegion(window, force);
}

}  // namespace

UINT SmoothCornersRefreshMessage() noexcept {
  static const UINT message = ::RegisterWindowMessageW(L"Orv.SmoothCorners.Refresh");
  return message;
}

bool IsWindows11Build() noexcept {
  const RtlGetVersionFn getVersion = ActiveCornerPlatform().FindRtlGetVersion();
  if (getVersion == nullptr) return false;
  RTL_OSVERSIONINFOW info{};
  static_assert(sizeof info == 276);
  info.dwOSVersionInfoSize = sizeof info;
  return getVersion(&info) == 0 && info.dwBuildNumber > 21999;
}

bool UseNativeCorners() noexcept { return IsWindows11Build() && !FallbackForced(); }

void ApplyWindowCorners(HWND window, bool force) noexcept {
  if (window == nullptr || ::GetAncestor(window, GA_ROOT) != window ||
      ::GetPropW(window, kCornerBusyProperty) != nullptr) {
    return;
  }
  // Without the busy mark a nested call could not be told apart: do nothing.
  if (!::SetPropW(window, kCornerBusyProperty, PropertySet())) return;
  try {
    ScopeExit notBusy([window] { ::RemovePropW(window, kCornerBusyProperty); });
    if (UseNativeCorners()) {
      UseNativeRounding(window);
    } else {
      UseFallbackCorners(window, force);
    }
  } catch (...) {
    // Nothing leaves: callers run inside window procedures.
  }
}

}  // namespace orv
