#pragma once
// The legacy region: a plain rounded-rectangle window region, without
// anti-aliasing or shadow, for fallback mode when no smooth edge is attached.

#include <windows.h>

namespace orv {

// Size of the window rectangle the current legacy region was built for.
inline constexpr wchar_t kRegionWidthProperty[] = L"OrvRgnW";
inline constexpr wchar_t kRegionHeightProperty[] = L"OrvRgnH";

// The window's DPI: GetDpiForWindow where the system has it, else the
// LOGPIXELSX of the window's DC, else 96.
UINT GetWindowDpi(HWND window) noexcept;

// Clips the window to a rounded rectangle of radius 10 at 96 DPI (scaled),
// unless it is maximised (square corners) or empty. Without force, an
// unchanged size keeps the region as it is.
void ApplyLegacyRegion(HWND window, bool force) noexcept;

// Removes the window's region and forgets the size it was built for.
void ClearLegacyRegion(HWND window) noexcept;

}  // namespace orv
