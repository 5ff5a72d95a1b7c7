#include "runner/window/window_rules.h"

namespace orv {

int ScaleToDpi(int logical, unsigned dpi) { return static_cast<int>(logical * (dpi / 96.0)); }

WindowPlacement ComputeWindowPlacement(bool installerMode, int screenWidth, int screenHeight, unsigned dpi) {
  const int width = installerMode ? 480 : 720;
  const int height = installerMode ? 320 : 512;
  const int x = (screenWidth - ScaleToDpi(width, dpi)) / 2;
  const int y = (screenHeight - ScaleToDpi(height, dpi)) / 2;
  return {x > 0 ? x : 0, y > 0 ? y : 0, width, height};
}

}  // namespace orv
