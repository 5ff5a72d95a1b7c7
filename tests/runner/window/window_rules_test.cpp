#include "runner/window/window_rules.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace orv {
namespace {

TEST(WindowRules, WindowPlacementIsCentredAndClampedToTheScreen) {
  const auto normal = ComputeWindowPlacement(false, 1920, 1080, 96);
  EXPECT_EQ(normal.width, 720);
  EXPECT_EQ(normal.height, 512);
  EXPECT_EQ(normal.x, 600);
  EXPECT_EQ(normal.y, 284);
  const auto installer = ComputeWindowPlacement(true, 1921, 1081, 96);
  EXPECT_EQ(installer.width, 480);
  EXPECT_EQ(installer.height, 320);
  EXPECT_EQ(installer.x, 720);
  EXPECT_EQ(installer.y, 380);
  const auto narrow = ComputeWindowPlacement(false, 640, 480, 96);
  EXPECT_EQ(narrow.x, 0);
  EXPECT_EQ(narrow.y, 0);
  EXPECT_EQ(ComputeWindowPlacement(false, 721, 600, 96).x, 0);  // (721 - 720) / 2 truncates to 0
}

// Scaled the way the host window scales it, a window that fits must lie
// wholly on the screen and be centred on it (within the one pixel an odd
// difference loses).
TEST(WindowRules, ScaledWindowsAreCentredAndWhollyOnTheScreen) {
  struct Screen {
    int width, height;
  };
  for (const Screen screen : {Screen{1280, 800}, Screen{1920, 1080}, Screen{3840, 2160}}) {
    for (const unsigned dpi : {96u, 144u, 192u}) {
      for (const bool installer : {false, true}) {
        const auto p = ComputeWindowPlacement(installer, screen.width, screen.height, dpi);
        const int width = ScaleToDpi(p.width, dpi);
        const int height = ScaleToDpi(p.height, dpi);
        SCOPED_TRACE(std::to_string(screen.width) + "x" + std::to_string(screen.height) + " at " +
                     std::to_string(dpi) + (installer ? " installer" : " normal"));
        if (width > screen.width || height > screen.height) {
          // 1440 x 1024 cannot fit 1280 x 800: pinned to the top-left corner instead.
          EXPECT_EQ(p.x, width > screen.width ? 0 : (screen.width - width) / 2);
          EXPECT_EQ(p.y, height > screen.height ? 0 : (screen.height - height) / 2);
          continue;
        }
        EXPECT_GE(p.x, 0);
        EXPECT_GE(p.y, 0);
        EXPECT_LE(p.x + width, screen.width);
        EXPECT_LE(p.y + height, screen.height);
        EXPECT_LE(std::abs(p.x - (screen.width - p.x - width)), 1);
        EXPECT_LE(std::abs(p.y - (screen.height - p.y - height)), 1);
      }
    }
  }
  // The laptop case that used to run off the screen: 1080 x 768 on 1280 x 800.
  const auto laptop = ComputeWindowPlacement(false, 1280, 800, 144);
  EXPECT_EQ(laptop.x, 100);
  EXPECT_EQ(laptop.y, 16);
  EXPECT_EQ(ComputeWindowPlacement(false, 1920, 1080, 144).x, 420);
  EXPECT_EQ(ScaleToDpi(720, 120), 900);
  EXPECT_EQ(ScaleToDpi(513, 144), 769);  // 769.5 truncates
}

TEST(WindowRules, AScreenSmallerThanTheScaledWindowGetsTheTopLeftCorner) {
  const auto p = ComputeWindowPlacement(false, 1280, 800, 192);  // 1440 x 1024
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  EXPECT_EQ(p.width, 720);
  EXPECT_EQ(p.height, 512);
  EXPECT_EQ(ComputeWindowPlacement(true, 1000, 700, 192).x, 20);  // 960 x 640 still fits
}

}  // namespace
}  // namespace orv
