// The legacy region's corner radius follows the window's DPI. scripts/test
// runs this program after setting the prefix's screen to 144 DPI.

#include <gtest/gtest.h>

#include "runner/window_corner/region_corners.h"
#include "runner/window_corner/window_corners.h"
#include "tests/runner/window_corner/corner_checks.h"
#include "tests/runner/window_corner/fake_corner_platform.h"
#include "tests/runner/window_corner/test_windows.h"

namespace orv::test {
namespace {

class CornersAt144Dpi : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ScreenDpi(), 144) << "scripts/test sets the prefix's screen to 144 DPI before this program";
    ::SetEnvironmentVariableW(L"ORV_INTERNAL_WINDOW_CORNER_FALLBACK", nullptr);
  }

  // The ellipse of the region a 600 x 400 window gets, if it is one of the candidates.
  int Ellipse() {
    TestWindow window(600, 400);
    ApplyWindowCorners(window.get(), true);
    for (int ellipse : {20, 26, 30}) {
      if (HasRoundedRegion(window.get(), 600, 400, ellipse)) return ellipse;
    }
    return 0;
  }

  FakeCornerPlatform fake_;
};

TEST_F(CornersAt144Dpi, TheWindowsOwnDpiScalesTheCorners) {
  TestWindow window(600, 400);
  EXPECT_EQ(GetWindowDpi(window.get()), 144u);
  EXPECT_EQ(Ellipse(), 30);
}

TEST_F(CornersAt144Dpi, APerWindowDpiWinsOverTheScreens) {
  fake_.SetWindowDpi(120);
  EXPECT_EQ(Ellipse(), 26);
}

TEST_F(CornersAt144Dpi, WithoutGetDpiForWindowTheDcsDpiIsUsed) {
  fake_.SetWindowDpi(std::nullopt);
  EXPECT_EQ(Ellipse(), 30);
  fake_.SetWindowDpi(0);  // a zero answer counts as none
  EXPECT_EQ(Ellipse(), 30);
}

TEST_F(CornersAt144Dpi, WithNeitherTheCornersAreThoseOf96Dpi) {
  fake_.SetWindowDpi(std::nullopt);
  fake_.WithoutDc();
  TestWindow window(600, 400);
  EXPECT_EQ(GetWindowDpi(window.get()), 96u);
  EXPECT_EQ(Ellipse(), 20);
}

}  // namespace
}  // namespace orv::test
