// The smooth edge of a window on a 144-DPI screen: a wider margin and the
// corner rows of a 15-pixel radius.

#include <gtest/gtest.h>

#include "runner/window_corner/smooth_window_edge.h"
#include "runner/window_corner/window_corners.h"
#include "tests/runner/window_corner/corner_checks.h"
#include "tests/runner/window_corner/edge_checks.h"
#include "tests/runner/window_corner/fake_corner_platform.h"
#include "tests/runner/window_corner/test_windows.h"

namespace orv::test {
namespace {

TEST(SmoothEdgeAt144Dpi, TheMarginAndTheCornerRowsScaleWithTheWindow) {
  ASSERT_EQ(ScreenDpi(), 144) << "scripts/test sets the prefix's screen to 144 DPI before this program";
  ::SetEnvironmentVariableW(L"ORV_INTERNAL_WINDOW_CORNER_FALLBACK", nullptr);
  FakeCornerPlatform fake;
  PaintedWindow host(100, 100, 800, 600);
  ApplyWindowCorners(host.get(), true);
  SmoothWindowEdge edge(host.get());
  ASSERT_TRUE(edge.Configure(0x202020, 0xF0F0F0, 0xFFFFFF));
  PumpMessages();

  HWND companion = FindCompanion(host.get());
  ASSERT_NE(companion, nullptr);
  EXPECT_TRUE(::IsWindowVisible(companion));
  const RECT frame = WindowFrame(companion);
  EXPECT_EQ(frame.left, 40);
  EXPECT_EQ(frame.top, 40);
  EXPECT_EQ(frame.right - frame.left, 920);
  EXPECT_EQ(frame.bottom - frame.top, 720);
  EXPECT_TRUE(HasEdgeRegion(host.get(), 800, 600, {15, 10, 8, 6, 5, 4, 3, 3, 2, 2, 1, 1, 1, 1, 1}));
}

}  // namespace
}  // namespace orv::test
