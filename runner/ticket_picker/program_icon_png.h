#pragma once
// An icon as a PNG file, for the interface to show and store.

#include <windows.h>

#include <vector>

namespace orv {

// Keeps the icon's own size, 32-bit BGRA with alpha. Empty bytes on any
// failure. Needs COM on the calling thread; the icon stays the caller's.
std::vector<unsigned char> IconToPng(HICON icon) noexcept;

}  // namespace orv
