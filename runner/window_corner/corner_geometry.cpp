#include "runner/window_corner/corner_geometry.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

namespace orv {
namespace {

std::uint32_t Byte(std::uint32_t color, int shift) { return (color >> shift) & 0xFFu; }

// Corner-square distances of pixel (j, i) from the centre lines at (R, R).
struct PixelSpan {
  double dx0, dx1, dy0, dy1;
};

PixelSpan SpanOf(double R, int j, int i) {
  return {std::max(R - j, 0.0), std::max(R - j - 1, 0.0), std::max(R - i, 0.0), std::max(R - i - 1, 0.0)};
}

}  // namespace

double CircleArea(double r, double t) {
  return 0.5 * (r * r * std::asin(std::clamp(t / r, 0.0, 1.0)) + t * std::sqrt(std::max(r * r - t * t, 0.0)));
}

double QuarterDiscArea(double r, double x, double y) {
  if (r <= 0 || x <= 0 || y <= 0) return 0;
  x = std::min(x, r);
  y = std::min(y, r);
  if (r * r >= x * x + y * y) return x * y;
  const double d = std::sqrt(std::max(r * r - y * y, 0.0));
  return CircleArea(r, x) + y * d - CircleArea(r, d);
}

double PixelCoverage(double R, double r, int j, int i) {
  const PixelSpan p = SpanOf(R, j, i);
  const double ux = std::clamp(j + 1 - R, 0.0, 1.0);
  const double uy = std::clamp(i + 1 - R, 0.0, 1.0);
  return QuarterDiscArea(r, p.dx0, p.dy0) - QuarterDiscArea(r, p.dx1, p.dy0) - QuarterDiscArea(r, p.dx0, p.dy1) +
         QuarterDiscArea(r, p.dx1, p.dy1) + std::max(std::min(r, p.dy0) - p.dy1, 0.0) * ux +
         std::max(std::min(r, p.dx0) - p.dx1, 0.0) * uy + ux * uy;
}

double BoxProfile(double t, double lo, double hi, double sigma) {
  return 0.5 * (std::erf((t - lo) / (sigma * kSqrt2)) - std::erf((t - hi) / (sigma * kSqrt2)));
}

double CornerRadius(int width, int height, double scale) {
  return std::min(std::min(width, height) * 0.5, 10 * scale);
}

ShadowKernelExtent KernelExtent(double radius, double scale, int margin) {
  const double spread = 4 * ShadowSigma(scale) + radius;
  const double offset = ShadowOffset(scale);
  return {margin + static_cast<std::int64_t>(std::ceil(spread)),
          margin + static_cast<std::int64_t>(std::ceil(spread + offset)),
          margin + static_cast<std::int64_t>(std::ceil(spread - offset))};
}

bool MakeEdgeGeometry(int width, int height, double scale, EdgeGeometry* out) noexcept {
  if (!out) return false;
  *out = EdgeGeometry{};
  if (width <= 0 || height <= 0 || !std::isfinite(scale) || scale <= 0) return false;
  // Compared as a double first: ceil(40 s) may be far beyond any integer.
  const double margin = std::ceil(40 * scale);
  const int marginRoom = (INT_MAX - std::max(width, height)) / 2;  // whole pixels each side
  if (!(margin <= static_cast<double>(marginRoom))) return false;

  EdgeGeometry g;
  g.width = width;
  g.height = height;
  g.scale = scale;
  g.radius = CornerRadius(width, height, scale);
  g.border = std::clamp(scale, 0.0, g.radius);
  g.innerRadius = g.radius - g.border;
  g.cornerSize = static_cast<int>(std::ceil(g.radius));
  g.margin = static_cast<int>(margin);
  g.sigma = ShadowSigma(scale);
  g.offset = ShadowOffset(scale);
  const ShadowKernelExtent extent = KernelExtent(g.radius, scale, g.margin);
  g.kernelWidth = extent.width;
  g.topRows = extent.topRows;
  g.bottomRows = extent.bottomRows;
  g.bitmapWidth = width + 2 * g.margin;
  g.bitmapHeight = height + 2 * g.margin;
  g.pixelCount = static_cast<std::uint64_t>(g.bitmapWidth) * static_cast<std::uint64_t>(g.bitmapHeight);
  *out = g;
  return true;
}

bool BuildCornerTable(double radius, double border, std::uint32_t borderRgb, std::uint32_t fillRgb,
                      CornerTable* out) noexcept {
  if (!out) return false;
  *out = CornerTable{};
  if (!(radius > 0)) return true;
  const double R = radius;
  const double o = R - std::clamp(border, 0.0, R);
  const double nReal = std::ceil(R);
  if (!(nReal * nReal <= static_cast<double>(kMaxEdgePixels))) return false;
  const int n = static_cast<int>(nReal);

  CornerTable table;
  try {
    table.solidFrom.assign(n, n);
    table.pixels.assign(static_cast<std::size_t>(n) * n, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  table.n = n;

  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const PixelSpan p = SpanOf(R, j, i);
      const bool fullyInside = R * R >= p.dx0 * p.dx0 + p.dy0 * p.dy0;
      const bool touchesInner = o * o > p.dx1 * p.dx1 + p.dy1 * p.dy1;
      double c = 1;
      double g = 0;
      if (fullyInside) {
        table.solidFrom[i] = std::min(table.solidFrom[i], j);
        if (touchesInner) continue;  // the window itself shows here
      } else {
        c = std::clamp(PixelCoverage(R, R, j, i), 0.0, 1.0);
        g = touchesInner ? std::min(std::clamp(PixelCoverage(R, o, j, i), 0.0, 1.0), c) : 0.0;
      }
      std::uint32_t pixel = static_cast<std::uint32_t>(std::lround(255 * c)) << 24;
      for (int k : {0, 8, 16}) {
        pixel |= static_cast<std::uint32_t>(std::lround(Byte(fillRgb, k) * g + Byte(borderRgb, k) * (c - g))) << k;
      }
      table.pixels[static_cast<std::size_t>(i) * n + j] = pixel;
    }
  }
  *out = std::move(table);
  return true;
}

}  // namespace orv
