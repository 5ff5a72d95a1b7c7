#pragma once
// What the smooth edge looks like from outside: its companion window, the
// rows of the window region, the pixels on the screen.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace orv::test {

// The companion of class OrvSmoothWindowEdge owned by `owner`; null if none.
HWND FindCompanion(HWND owner);

RECT WindowFrame(HWND window);

// Dispatches this thread's waiting messages (the posted refreshes among
// them), twice with a pause of pauseMs between, for what the first round
// posts or paints.
void PumpMessages(DWORD pauseMs = 30);

// The region keeps, in each corner row cy < solidFrom.size(), exactly the
// columns [solidFrom[cy], width - solidFrom[cy]) (and the same in the mirror
// row at the bottom), and every column of the rows between.
::testing::AssertionResult HasEdgeRegion(HWND window, int width, int height, const std::vector<int>& solidFrom);

// The screen's pixels in a rectangle as 0xRRGGBB, row by row.
class ScreenShot {
 public:
  explicit ScreenShot(const RECT& area);
  std::uint32_t At(int x, int y) const;  // screen coordinates inside the area

 private:
  RECT area_;
  std::vector<std::uint32_t> pixels_;
};

// The colour a premultiplied pixel shows on the test screen, which does not blend.
inline std::uint32_t Shown(std::uint32_t pixel) { return pixel & 0xFFFFFFu; }
inline std::uint32_t Alpha(std::uint32_t pixel) { return pixel >> 24; }

}  // namespace orv::test
