#pragma once
// The host window's DPI scaling and placement. Portable: no Windows header.

namespace orv {

// A logical length in pixels at `dpi` (96 = 100 %), truncated toward zero.
int ScaleToDpi(int logical, unsigned dpi);

struct WindowPlacement {
  int x, y;           // physical pixels
  int width, height;  // logical units
};

// Normal window 720 x 512, installer window 480 x 320 (logical), centred on
// the primary screen (physical pixels) once scaled to its DPI, and never
// placed left of or above it.
WindowPlacement ComputeWindowPlacement(bool installerMode, int screenWidth, int screenHeight, unsigned dpi);

}  // namespace orv
