#include "runner/window_corner/edge_compose.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "runner/window_corner/shadow_bitmap.h"
#include "runner/window_corner/shadow_kernel.h"
#include "tests/runner/window_corner/allocation_count.h"

namespace orv {
namespace {

constexpr EdgeColors kColors[] = {
    {0x3060C0, 0xFFFFFF, 0x000000},
    {0xFF0000, 0x00FF00, 0xFFFFFF},
    {0x808080, 0x102030, 0x2040A0},
};

std::string Case(int w, int h, double s, bool active) {
  return std::to_string(w) + "x" + std::to_string(h) + " s=" + std::to_string(s) + (active ? " active" : " inactive");
}

// The shadow pixel and the compose step written out channel by channel.
std::uint32_t ExpectedShadow(double E, bool active, std::uint32_t rgb) {
  const long A = std::lround((active ? 0.22 : 0.14) * std::clamp(E, 0.0, 1.0) * 255);
  const long r = (A * long((rgb >> 16) & 0xFF) + 127) / 255;
  const long g = (A * long((rgb >> 8) & 0xFF) + 127) / 255;
  const long b = (A * long(rgb & 0xFF) + 127) / 255;
  return std::uint32_t(A << 24 | r << 16 | g << 8 | b);
}

std::uint32_t ExpectedOver(std::uint32_t t, std::uint32_t S) {
  const std::uint32_t ta = t >> 24;
  std::uint32_t channels[4];
  for (int c = 0; c < 4; ++c) {
    const std::uint32_t s = (S >> (8 * c)) & 0xFF;
    channels[c] = (s * (255 - ta) + 127) / 255 + ((t >> (8 * c)) & 0xFF);
  }
  return channels[0] | channels[1] << 8 | channels[2] << 16 | channels[3] << 24;
}

// Checks every pixel of a full build against E of its own shadow field and a
// corner table built on its own; returns the number of mismatches.
int CheckEveryPixel(const EdgeBitmap& bitmap, bool active, const EdgeColors& colors, const std::string& label) {
  const EdgeGeometry& g = bitmap.geometry;
  ShadowField field;
  EXPECT_TRUE(field.Init(g)) << label;
  CornerTable table;
  EXPECT_TRUE(BuildCornerTable(g.radius, g.border, colors.border, colors.fill, &table)) << label;
  EXPECT_EQ(table.n, g.cornerSize) << label;
  EXPECT_EQ(bitmap.snapshots.size(), std::size_t(4 * table.n * table.n)) << label;
  int mismatches = 0;
  for (int Y = 0; Y < g.bitmapHeight; ++Y) {
    for (int X = 0; X < g.bitmapWidth; ++X) {
      const int x = X - g.margin, y = Y - g.margin;
      std::uint32_t expected;
      if (x < 0 || y < 0 || x >= g.width || y >= g.height) {
        expected = ExpectedShadow(field.Intensity(X, Y), active, colors.shadow);
      } else {
        const int cx = std::min(x, g.width - 1 - x), cy = std::min(y, g.height - 1 - y);
        if (cx < table.n && cy < table.n) {
          const std::uint32_t t = table.At(cy, cx);
          const std::uint32_t S = ExpectedShadow(field.Intensity(X, Y), active, colors.shadow);
          expected = cx < table.solidFrom[cy] ? ExpectedOver(t, S) : t;
          // The snapshot of this corner block keeps the shadow that was there.
          const int q = (x == cx ? 0 : 1) + (y == cy ? 0 : 2);
          EXPECT_EQ(bitmap.snapshots[(q * table.n + cy) * table.n + cx], S) << label << " snapshot " << x << "," << y;
        } else {
          expected = 0;
        }
      }
      const std::uint32_t actual = bitmap.pixels[std::size_t(Y) * g.bitmapWidth + X];
      for (int k : {0, 8, 16}) {
        if (((actual >> k) & 0xFF) > (actual >> 24)) ++mismatches;  // not premultiplied
      }
      if (actual != expected && ++mismatches <= 5) {
        ADD_FAILURE() << label << " pixel " << X << "," << Y << " is " << std::hex << actual << " not " << expected;
      }
    }
  }
  return mismatches;
}

EdgeBitmap Build(int w, int h, double s, bool active, const EdgeColors& colors) {
  EdgeBitmap bitmap;
  EXPECT_TRUE(BuildEdgeBitmap(w, h, s, active, colors, &bitmap)) << Case(w, h, s, active);
  return bitmap;
}

TEST(EdgeBitmap, EightHundredBySixHundredAtNinetySixDpi) {
  const EdgeBitmap bitmap = Build(800, 600, 1.0, true, kColors[0]);
  const EdgeGeometry& g = bitmap.geometry;
  ASSERT_EQ(g.bitmapWidth, 880);
  ASSERT_EQ(g.bitmapHeight, 680);
  ASSERT_EQ(bitmap.pixels.size(), 880u * 680u);
  auto window = [&](int x, int y) { return bitmap.pixels[std::size_t(40 + y) * 880 + 40 + x]; };
  // Wholly outside the rounded shape: the shadow alone, as snapshotted.
  EXPECT_EQ(window(0, 0), bitmap.snapshots[0]);
  EXPECT_GT(window(0, 0) >> 24, 0u);
  EXPECT_EQ(window(799, 599), bitmap.snapshots[3 * 100]);
  EXPECT_EQ(window(9, 9), 0u);
  EXPECT_EQ(window(400, 300), 0u);
  for (int x = 10; x <= 800 - 11; ++x) ASSERT_EQ(window(x, 0), 0u) << x;
  EXPECT_NE(window(9, 0), 0u);
  EXPECT_NE(window(790, 0), 0u);
  // The shadow below the window is darker than above it (offset downwards).
  EXPECT_GT(bitmap.pixels[std::size_t(679 - 20) * 880 + 440] >> 24, bitmap.pixels[20 * 880 + 440] >> 24);
}

TEST(EdgeBitmap, PixelsFollowIntensityAtEachScale) {
  for (double dpi : {96.0, 120.0, 144.0, 192.0}) {
    for (bool active : {true, false}) {
      for (const EdgeColors& colors : kColors) {
        for (auto [w, h] : {std::pair{800, 600}, std::pair{333, 251}}) {
          const double s = dpi / 96;
          EXPECT_EQ(CheckEveryPixel(Build(w, h, s, active, colors), active, colors, Case(w, h, s, active)), 0);
        }
      }
    }
  }
}

TEST(EdgeBitmap, PixelsFollowIntensityForSmallWindows) {
  for (int w = 1; w <= 25; ++w) {
    for (int h = 1; h <= 25; ++h) {
      const bool active = (w + h) % 2 == 0;
      const EdgeColors& colors = kColors[(w * 25 + h) % 3];
      ASSERT_EQ(CheckEveryPixel(Build(w, h, 1.0, active, colors), active, colors, Case(w, h, 1.0, active)), 0);
    }
  }
  for (double dpi : {120.0, 144.0, 192.0}) {
    for (int w : {1, 2, 3, 7, 19, 40, 41}) {
      for (int h : {1, 4, 13, 25, 39}) {
        const double s = dpi / 96;
        ASSERT_EQ(CheckEveryPixel(Build(w, h, s, true, kColors[1]), true, kColors[1], Case(w, h, s, true)), 0);
      }
    }
  }
}

TEST(EdgeBitmap, RecolourEqualsFullBuild) {
  const EdgeColors a = kColors[0];
  EdgeColors b = kColors[1];
  b.shadow = a.shadow;
  struct Size {
    int w, h;
    double s;
  };
  std::vector<Size> sizes = {{800, 600, 1.0}, {800, 600, 1.25}, {800, 600, 1.5}, {800, 600, 2.0}, {300, 15, 1.0}};
  for (int w = 1; w <= 25; w += 3) {
    for (int h = 1; h <= 25; h += 2) sizes.push_back({w, h, 1.0 + (w % 3) * 0.25});
  }
  for (const Size& size : sizes) {
    const std::string label = Case(size.w, size.h, size.s, true);
    EdgeBitmap recoloured = Build(size.w, size.h, size.s, true, a);
    const std::vector<std::uint32_t> snapshots = recoloured.snapshots;
    ASSERT_TRUE(RecolorEdgeBitmap(b.border, b.fill, &recoloured)) << label;
    const EdgeBitmap direct = Build(size.w, size.h, size.s, true, b);
    EXPECT_TRUE(recoloured.pixels == direct.pixels) << label;
    EXPECT_TRUE(recoloured.snapshots == snapshots) << label;
  }
}

TEST(EdgeBitmap, RecolourRefusesAMismatchedTable) {
  EdgeBitmap bitmap = Build(800, 600, 1.0, true, kColors[0]);
  const std::vector<std::uint32_t> before = bitmap.pixels;
  const EdgeGeometry& g = bitmap.geometry;
  CornerTable other;
  ASSERT_TRUE(BuildCornerTable(15, 1.5, 0xFFFFFF, 0xFFFFFF, &other));
  EXPECT_FALSE(RecolorEdge(g, other, g.cornerSize, bitmap.snapshots.data(), bitmap.snapshots.size(),
                           bitmap.pixels.data()));
  CornerTable same;
  ASSERT_TRUE(BuildCornerTable(10, 1, 0xFFFFFF, 0xFFFFFF, &same));
  EXPECT_FALSE(RecolorEdge(g, same, 15, bitmap.snapshots.data(), bitmap.snapshots.size(), bitmap.pixels.data()));
  EXPECT_FALSE(RecolorEdge(g, same, 10, bitmap.snapshots.data(), 399, bitmap.pixels.data()));
  EXPECT_FALSE(RecolorEdge(g, same, 10, nullptr, 400, bitmap.pixels.data()));
  EXPECT_FALSE(RecolorEdge(g, same, 10, bitmap.snapshots.data(), 400, nullptr));
  EXPECT_TRUE(bitmap.pixels == before);
  EXPECT_TRUE(RecolorEdge(g, same, 10, bitmap.snapshots.data(), 400, bitmap.pixels.data()));
  EXPECT_FALSE(bitmap.pixels == before);
}

TEST(EdgeBitmap, ActivationChangesOnlyShadowAndEdgePixels) {
  for (double s : {1.0, 1.5}) {
    const EdgeBitmap active = Build(640, 480, s, true, kColors[2]);
    const EdgeBitmap inactive = Build(640, 480, s, false, kColors[2]);
    const EdgeGeometry& g = active.geometry;
    CornerTable table;
    ASSERT_TRUE(BuildCornerTable(g.radius, g.border, kColors[2].border, kColors[2].fill, &table));
    ShadowField field;
    ASSERT_TRUE(field.Init(g));
    int differing = 0;
    for (int Y = 0; Y < g.bitmapHeight; ++Y) {
      for (int X = 0; X < g.bitmapWidth; ++X) {
        const std::size_t i = std::size_t(Y) * g.bitmapWidth + X;
        if (active.pixels[i] == inactive.pixels[i]) continue;
        ++differing;
        const int x = X - g.margin, y = Y - g.margin;
        const bool margin = x < 0 || y < 0 || x >= g.width || y >= g.height;
        if (margin) {
          const double E = std::clamp(field.Intensity(X, Y), 0.0, 1.0);
          ASSERT_EQ(active.pixels[i] >> 24, std::uint32_t(std::lround(0.22 * E * 255))) << X << "," << Y;
          ASSERT_EQ(inactive.pixels[i] >> 24, std::uint32_t(std::lround(0.14 * E * 255))) << X << "," << Y;
        } else {
          const int cx = std::min(x, g.width - 1 - x), cy = std::min(y, g.height - 1 - y);
          ASSERT_TRUE(cx < table.n && cy < table.n && cx < table.solidFrom[cy]) << x << "," << y;
        }
      }
    }
    EXPECT_GT(differing, 0);
    EXPECT_EQ(active.snapshots.size(), inactive.snapshots.size());
  }
}

TEST(EdgeBitmap, KernelCacheFollowsScaleNotOnlyRadius) {
  // Both builds have R = 10; the second one's scale and margin differ.
  const EdgeBitmap first = Build(800, 600, 1.0, true, kColors[0]);
  const EdgeBitmap afterFirst = Build(800, 20, 2.0, true, kColors[0]);
  EdgeBitmap fresh;
  std::thread([&] { fresh = Build(800, 20, 2.0, true, kColors[0]); }).join();
  EXPECT_EQ(first.geometry.radius, afterFirst.geometry.radius);
  ASSERT_FALSE(fresh.pixels.empty());
  EXPECT_TRUE(afterFirst.pixels == fresh.pixels);
  EXPECT_TRUE(afterFirst.snapshots == fresh.snapshots);

  // The same three values reuse the cached tables.
  const auto kernel = CachedShadowCornerKernel(10, 2.0, 80);
  EXPECT_EQ(CachedShadowCornerKernel(10, 2.0, 80), kernel);
  EXPECT_NE(CachedShadowCornerKernel(10, 2.0, 81), kernel);
}

TEST(EdgeBitmap, RefusedInputsAllocateNothing) {
  struct Row {
    int w, h;
    double s;
  };
  const Row rows[] = {{0, 600, 1}, {800, -1, 1}, {800, 600, 0}, {800, 600, -0.5},
                      {800, 600, std::nan("")}, {800, 600, HUGE_VAL}, {800, 600, 1e6}, {800, 600, 3e7}};
  for (const Row& row : rows) {
    EdgeBitmap bitmap;
    const AllocationCount allocations;
    EXPECT_FALSE(BuildEdgeBitmap(row.w, row.h, row.s, true, kColors[0], &bitmap)) << row.s;
    EXPECT_EQ(allocations.Since(), 0) << row.w << "x" << row.h << " s=" << row.s;
    EXPECT_TRUE(bitmap.pixels.empty());
    EXPECT_TRUE(bitmap.snapshots.empty());
  }
  EXPECT_FALSE(BuildEdgeBitmap(800, 600, 1, true, kColors[0], nullptr));

  // Straight into a caller's memory: a scale of a million is refused before
  // anything is drawn or allocated.
  EdgeGeometry g;
  ASSERT_TRUE(MakeEdgeGeometry(800, 600, 1e6, &g));
  CornerTable table;
  ASSERT_TRUE(BuildCornerTable(g.radius, g.border, 0, 0, &table));
  std::vector<std::uint32_t> pixels(16, 7), snapshots(SnapshotCount(table.n), 7);
  const AllocationCount allocations;
  EXPECT_EQ(CachedShadowCornerKernel(g.radius, g.scale, g.margin), nullptr);
  EXPECT_FALSE(BuildEdge(g, table, true, 0, pixels.data(), snapshots.data()));
  EXPECT_EQ(allocations.Since(), 0);
  EXPECT_EQ(pixels, std::vector<std::uint32_t>(16, 7));

  // Kernels nobody can build are refused before any size becomes an integer.
  struct Kernel {
    double radius, scale;
    int margin;
  };
  const Kernel kernels[] = {{10, 0, 40}, {10, std::nan(""), 40}, {10, -1, 40}, {1e300, 1, 40},
                            {10, 1e300, 40}, {HUGE_VAL, 1, 40}, {10, 1, -1}, {0, 1, 40}};
  const AllocationCount kernelAllocations;
  int built = 0;
  for (const Kernel& k : kernels) built += CachedShadowCornerKernel(k.radius, k.scale, k.margin) != nullptr;
  EXPECT_EQ(kernelAllocations.Since(), 0);
  EXPECT_EQ(built, 0);
}

TEST(EdgeBitmap, IncompleteTablesAreRefused) {
  EdgeGeometry g;
  ASSERT_TRUE(MakeEdgeGeometry(50, 40, 1.0, &g));
  CornerTable table;
  ASSERT_TRUE(BuildCornerTable(g.radius, g.border, 0xFF, 0xFF00, &table));
  std::vector<std::uint32_t> pixels(g.pixelCount, 5), snapshots(SnapshotCount(table.n));
  CornerTable shortRows = table;
  shortRows.solidFrom.pop_back();
  CornerTable shortPixels = table;
  shortPixels.pixels.resize(table.pixels.size() - 1);
  for (const CornerTable* broken : {&shortRows, &shortPixels}) {
    EXPECT_FALSE(BuildEdge(g, *broken, true, 0, pixels.data(), snapshots.data()));
    EXPECT_FALSE(RecolorEdge(g, *broken, table.n, snapshots.data(), snapshots.size(), pixels.data()));
  }
  EXPECT_EQ(pixels, std::vector<std::uint32_t>(g.pixelCount, 5));
  EXPECT_TRUE(BuildEdge(g, table, true, 0, pixels.data(), snapshots.data()));
}

}  // namespace
}  // namespace orv
