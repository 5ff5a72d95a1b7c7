#pragma once
// What a window's corners look like from outside: its region (this process's
// window or another's) and the corner properties.

#include <windows.h>

#include <gtest/gtest.h>

namespace orv::test {

// The window's region covers exactly the pixels of the legacy region for a
// width x height window with the given corner ellipse. Compared pixel by
// pixel (XOR): Wine's EqualRgn answers FALSE even for identical shapes.
::testing::AssertionResult HasRoundedRegion(HWND window, int width, int height, int ellipse);

bool HasRegion(HWND window);
RECT RegionBox(HWND window);  // all zero without a region

// LOGPIXELSX of the screen.
int ScreenDpi();

// The number a property carries; 0 when absent.
INT_PTR Property(HWND window, const wchar_t* name);

}  // namespace orv::test
