#pragma once
// The corner policy of the top-level window: native rounding where the DWM
// offers it (Windows 11 builds), otherwise the fallback: the smooth edge when
// one is attached, else a plain rounded window region.

#include <windows.h>

namespace orv {

// Window properties on the top-level window (value 1).
inline constexpr wchar_t kCornerBusyProperty[] = L"OrvRgnBusy";
inline constexpr wchar_t kCornerFallbackProperty[] = L"OrvWindowCornerFallback";
inline constexpr wchar_t kSmoothCornersProperty[] = L"OrvSmoothCorners";

// Sent to a window carrying kSmoothCornersProperty to make its smooth edge
// rebuild; wParam is the force flag, and a non-zero answer means the edge is
// in place afterwards.
UINT SmoothCornersRefreshMessage() noexcept;

// True on Windows builds 22000 and later.
bool IsWindows11Build() noexcept;

// Native rounding, unless ORV_INTERNAL_WINDOW_CORNER_FALLBACK is exactly "1".
// Read afresh on every call.
bool UseNativeCorners() noexcept;

// Applies the current technique to a top-level window. Null handles, child
// windows and windows already inside this call are left alone.
void ApplyWindowCorners(HWND window, bool force) noexcept;

}  // namespace orv
