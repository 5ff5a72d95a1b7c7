#include "runner/window_corner/corner_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tests/runner/window_corner/allocation_count.h"

namespace orv {
namespace {

TEST(CornerGeometry, AreaFunctions) {
  // A whole quarter disc, a square well inside it, and a strip cut by the arc.
  EXPECT_NEAR(QuarterDiscArea(10, 10, 10), M_PI * 25, 1e-9);
  EXPECT_DOUBLE_EQ(QuarterDiscArea(10, 3, 4), 12);
  EXPECT_NEAR(QuarterDiscArea(10, 10, 1), CircleArea(10, 10) - CircleArea(10, std::sqrt(99.0)) + std::sqrt(99.0),
              1e-12);
  EXPECT_EQ(QuarterDiscArea(0, 5, 5), 0);
  EXPECT_EQ(QuarterDiscArea(5, -1, 5), 0);

  // The coverages of a corner square add up to the square less the cut-out.
  for (double R : {10.0, 7.5, 15.0}) {
    const int n = static_cast<int>(std::ceil(R));
    double inside = 0;
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) inside += PixelCoverage(R, R, j, i);
    }
    EXPECT_NEAR(inside, n * n - (R * R - M_PI * R * R / 4), 1e-9) << R;
  }
  EXPECT_DOUBLE_EQ(PixelCoverage(10, 10, 9, 9), 1);
  EXPECT_DOUBLE_EQ(PixelCoverage(10, 10, 0, 0), 0);

  EXPECT_DOUBLE_EQ(BoxProfile(400, 0, 800, 12), 1.0);
  EXPECT_NEAR(BoxProfile(0, 0, 800, 12), 0.5, 1e-15);
  EXPECT_NEAR(BoxProfile(12, 0, 1e9, 12), 0.5 * (1 + std::erf(1 / std::sqrt(2.0))), 1e-15);
}

TEST(CornerGeometry, SizesFromScale) {
  struct Row {
    int w, h;
    double s;
    double R, b;
    int n, m;
    std::int64_t K, Tt, Tb;
  };
  const Row rows[] = {
      {800, 600, 1.0, 10, 1, 10, 40, 98, 102, 94},
      {800, 600, 1.5, 15, 1.5, 15, 60, 147, 153, 141},
      {800, 600, 2.0, 20, 2, 20, 80, 196, 204, 188},
      {300, 15, 1.0, 7.5, 1, 8, 40, 96, 100, 92},
      {30, 200, 1.25, 12.5, 1.25, 13, 50, 123, 128, 118},
      {1, 1, 2.0, 0.5, 0.5, 1, 80, 177, 185, 169},  // the border never exceeds the radius
  };
  for (const Row& row : rows) {
    EdgeGeometry g;
    ASSERT_TRUE(MakeEdgeGeometry(row.w, row.h, row.s, &g));
    EXPECT_DOUBLE_EQ(g.radius, row.R);
    EXPECT_DOUBLE_EQ(g.border, row.b);
    EXPECT_DOUBLE_EQ(g.innerRadius, row.R - row.b);
    EXPECT_EQ(g.cornerSize, row.n);
    EXPECT_EQ(g.margin, row.m);
    EXPECT_EQ(g.kernelWidth, row.K);
    EXPECT_EQ(g.topRows, row.Tt);
    EXPECT_EQ(g.bottomRows, row.Tb);
    EXPECT_EQ(g.bitmapWidth, row.w + 2 * row.m);
    EXPECT_EQ(g.bitmapHeight, row.h + 2 * row.m);
    EXPECT_EQ(g.pixelCount, std::uint64_t(row.w + 2 * row.m) * std::uint64_t(row.h + 2 * row.m));
  }
}

TEST(CornerGeometry, EmptyGeometries) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Row {
    int w, h;
    double s;
  };
  const Row rows[] = {{0, 600, 1}, {800, 0, 1}, {-5, 600, 1}, {800, 600, 0}, {800, 600, -1}, {800, 600, inf},
                      {800, 600, nan}, {800, 600, 1e300},
                      // ceil(40 s) must not exceed (2147483647 - max(w, h)) / 2 = 1073741323
                      {1000, 1000, 1073741324.0 / 40}};
  for (const Row& row : rows) {
    EdgeGeometry g;
    g.width = 7;
    const AllocationCount allocations;
    EXPECT_FALSE(MakeEdgeGeometry(row.w, row.h, row.s, &g)) << row.w << "x" << row.h << " s=" << row.s;
    EXPECT_EQ(g.pixelCount, 0u);
    EXPECT_EQ(g.width, 0);
    EXPECT_EQ(allocations.Since(), 0);
  }
  EdgeGeometry g;
  EXPECT_TRUE(MakeEdgeGeometry(1000, 1000, 1073741323.0 / 40, &g));
  EXPECT_EQ(g.margin, 1073741323);
  EXPECT_EQ(g.bitmapWidth, 2147483646);
  EXPECT_FALSE(MakeEdgeGeometry(1, 1, 1, nullptr));
}

TEST(CornerTable, SolidFromAtTwoScales) {
  CornerTable table;
  ASSERT_TRUE(BuildCornerTable(10, 1, 0x112233, 0x445566, &table));
  EXPECT_EQ(table.n, 10);
  EXPECT_EQ(table.solidFrom, (std::vector<int>{10, 6, 4, 3, 2, 2, 1, 1, 1, 1}));
  ASSERT_TRUE(BuildCornerTable(15, 1.5, 0x112233, 0x445566, &table));
  EXPECT_EQ(table.n, 15);
  EXPECT_EQ(table.solidFrom, (std::vector<int>{15, 10, 8, 6, 5, 4, 3, 3, 2, 2, 1, 1, 1, 1, 1}));
}

TEST(CornerTable, PixelsAtNinetySixDpi) {
  const std::uint32_t border = 0x3060C0, fill = 0xFFFFFF;
  CornerTable table;
  ASSERT_TRUE(BuildCornerTable(10, 1, border, fill, &table));
  // Outermost pixel: outside the arc altogether.
  EXPECT_EQ(table.At(0, 0), 0u);
  // (9, 9) lies wholly inside and touches the fill: the window shows there.
  EXPECT_EQ(table.At(9, 9), 0u);
  // Wholly inside the window and touching the fill: the window shows there.
  EXPECT_EQ(table.At(1, 6), 0u);
  for (int i = 0; i < table.n; ++i) {
    for (int j = 0; j < table.n; ++j) {
      const std::uint32_t p = table.At(i, j);
      const std::uint32_t a = p >> 24;
      for (int k : {0, 8, 16}) EXPECT_LE((p >> k) & 0xFF, a) << i << "," << j;
      // Symmetric about the diagonal.
      EXPECT_EQ(p, table.At(j, i));
      // Coverage rounded.
      if (j < table.solidFrom[i]) {
        EXPECT_EQ(a, std::uint32_t(std::lround(255 * PixelCoverage(10, 10, j, i))));
      }
    }
  }
  // The one edge pixel (and its mirror) that reaches the fill: the fill's
  // share plus the border's.
  const double c = PixelCoverage(10, 10, 5, 1), g = PixelCoverage(10, 9, 5, 1);
  ASSERT_GT(g, 0);
  ASSERT_LT(g, c);
  EXPECT_EQ(table.At(1, 5) >> 24, std::uint32_t(std::lround(255 * c)));
  EXPECT_EQ(table.At(1, 5) & 0xFF, std::uint32_t(std::lround(0xFF * g + 0xC0 * (c - g))));
  EXPECT_EQ((table.At(1, 5) >> 16) & 0xFF, std::uint32_t(std::lround(0xFF * g + 0x30 * (c - g))));
  EXPECT_NE((table.At(1, 5) >> 16) & 0xFF, std::uint32_t(std::lround(0x30 * c)));

  // At 144 DPI the border ring holds pixels wholly inside the window that
  // miss the fill: opaque border colour.
  ASSERT_TRUE(BuildCornerTable(15, 1.5, border, fill, &table));
  EXPECT_EQ(table.At(1, 10), 0xFF000000u | border);
  EXPECT_EQ(table.At(10, 1), 0xFF000000u | border);
}

TEST(CornerTable, EmptyAndTooLarge) {
  CornerTable table;
  ASSERT_TRUE(BuildCornerTable(10, 1, 0, 0, &table));
  {
    const AllocationCount allocations;
    EXPECT_TRUE(BuildCornerTable(0, 1, 0, 0, &table));
    EXPECT_TRUE(BuildCornerTable(std::numeric_limits<double>::quiet_NaN(), 1, 0, 0, &table));
    EXPECT_EQ(table.n, 0);
    EXPECT_TRUE(table.pixels.empty());
    EXPECT_FALSE(BuildCornerTable(1e6, 1e6, 0, 0, &table));
    EXPECT_EQ(allocations.Since(), 0);
  }
}

}  // namespace
}  // namespace orv
