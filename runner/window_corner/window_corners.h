#pragma once

#include <windows.h>

namespace orv {

// Re-applies the corner shape of a top-level window (after a DPI change, or
// when forced). Corner shaping is not built yet: until it is, windows keep the
// system's own corners and this does nothing.
void ApplyWindowCorners(HWND window, bool force) noexcept;

}  // namespace orv
