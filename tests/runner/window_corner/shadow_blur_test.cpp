// The shadow intensity against an independent blur of the exact rounded
// rectangle with a true circular arc.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "runner/window_corner/corner_geometry.h"
#include "runner/window_corner/shadow_bitmap.h"

namespace orv {
namespace {

double GaussianMass(double t, double lo, double hi, double sigma) {
  return 0.5 * (std::erf((t - lo) / (sigma * std::sqrt(2.0))) - std::erf((t - hi) / (sigma * std::sqrt(2.0))));
}

// Blur of [0, w] x [f, f + h] with corners of radius R at the pixel centre
// (tx, ty) in window coordinates: analytic across, horizontal slices down.
double ReferenceIntensity(const EdgeGeometry& g, double tx, double ty) {
  const double R = g.radius, sigma = g.sigma, top = g.offset, bottom = g.offset + g.height;
  const double from = std::max(top, ty - 7 * sigma), to = std::min(bottom, ty + 7 * sigma);
  double sum = 0;
  auto slice = [&](double y0, double y1) {
    if (y1 <= y0) return;
    const double mid = 0.5 * (y0 + y1);
    const double fromEdge = std::min(mid - top, bottom - mid);
    double inset = 0;
    if (fromEdge < R) inset = R - std::sqrt(std::max(R * R - (R - fromEdge) * (R - fromEdge), 0.0));
    sum += GaussianMass(ty, y0, y1, sigma) * GaussianMass(tx, inset, g.width - inset, sigma);
  };
  // Slices of at most 0.02 pixels where the arc bends; the straight middle
  // has one width all through and is one exact slice.
  auto bent = [&](double y0, double y1) {
    y0 = std::max(y0, from);
    y1 = std::min(y1, to);
    if (y1 <= y0) return;
    const int count = static_cast<int>(std::ceil((y1 - y0) / 0.02));
    for (int k = 0; k < count; ++k) slice(y0 + (y1 - y0) * k / count, y0 + (y1 - y0) * (k + 1) / count);
  };
  const double arcTop = std::min(top + R, bottom), arcBottom = std::max(bottom - R, arcTop);
  bent(top, arcTop);
  slice(std::max(arcTop, from), std::min(arcBottom, to));
  bent(arcBottom, bottom);
  return sum;
}

struct Sampled {
  double worst = 0;
  int count = 0;
};

void Compare(const EdgeGeometry& g, const ShadowField& field, int X, int Y, Sampled& sampled) {
  if (X < 0 || Y < 0 || X >= g.bitmapWidth || Y >= g.bitmapHeight) return;
  const double reference = ReferenceIntensity(g, X + 0.5 - g.margin, Y + 0.5 - g.margin);
  const double error = std::abs(field.Intensity(X, Y) - reference);
  sampled.worst = std::max(sampled.worst, error);
  ++sampled.count;
  EXPECT_LE(error, 2e-4) << "pixel " << X << "," << Y << " of " << g.width << "x" << g.height << " s=" << g.scale;
}

TEST(ShadowBlur, MatchesTheRoundedRectangleBlur) {
  struct Size {
    int w, h;
    double dpi;
  };
  const Size sizes[] = {{800, 600, 96}, {800, 600, 144}, {800, 600, 192}, {300, 15, 96}, {30, 200, 120}};
  for (const Size& size : sizes) {
    EdgeGeometry g;
    ASSERT_TRUE(MakeEdgeGeometry(size.w, size.h, size.dpi / 96, &g));
    ShadowField field;
    ASSERT_TRUE(field.Init(g));
    Sampled sampled;
    // The four corner regions, where the corner tables act, on a grid that
    // also passes through the arc itself.
    const int W = g.bitmapWidth, H = g.bitmapHeight;
    const int stepX = std::max<int>(1, static_cast<int>(g.kernelWidth / 13));
    const int stepY = std::max<int>(1, static_cast<int>(g.topRows / 13));
    for (int dx = 0; dx < g.kernelWidth; dx += stepX) {
      for (int dy = 0; dy < g.topRows; dy += stepY) {
        Compare(g, field, dx, dy, sampled);
        Compare(g, field, W - 1 - dx, dy, sampled);
      }
      for (int dy = 0; dy < g.bottomRows; dy += stepY) {
        Compare(g, field, dx, H - 1 - dy, sampled);
        Compare(g, field, W - 1 - dx, H - 1 - dy, sampled);
      }
    }
    for (int d = 0; d < g.cornerSize + 3; ++d) {
      Compare(g, field, g.margin + d, g.margin + d, sampled);
      Compare(g, field, W - 1 - g.margin - d, H - 1 - g.margin - d, sampled);
    }
    // The middle of each edge, across the whole margin.
    for (int d = 0; d < g.margin + 8; d += 3) {
      Compare(g, field, W / 2, d, sampled);
      Compare(g, field, W / 2, H - 1 - d, sampled);
      Compare(g, field, d, H / 2, sampled);
      Compare(g, field, W - 1 - d, H / 2, sampled);
    }
    EXPECT_GT(sampled.count, 400);
    RecordProperty("worst_" + std::to_string(size.w) + "x" + std::to_string(size.h) + "_" +
                       std::to_string(static_cast<int>(size.dpi)),
                   std::to_string(sampled.worst));
    std::printf("%dx%d at %g DPI: %d pixels, largest difference %.2e\n", size.w, size.h, size.dpi, sampled.count,
                sampled.worst);
  }
}

}  // namespace
}  // namespace orv
