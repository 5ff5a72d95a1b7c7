#include "runner/window_corner/window_corners.h"

namespace orv {

void ApplyWindowCorners(HWND, bool) noexcept {}

}  // namespace orv
