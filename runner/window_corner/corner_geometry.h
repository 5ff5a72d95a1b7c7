#pragma once
// Geometry of the smooth window edge: the area functions behind the
// anti-aliased corners, the sizes derived from the window's DPI, and the
// corner table drawn over the shadow. Portable: no Windows header.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv {

// Area under the circle of radius r from 0 to t.
double CircleArea(double r, double t);

// Area of the quarter disc of radius r (centre at the origin) inside [0, x] x [0, y].
double QuarterDiscArea(double r, double x, double y);

// Share of the pixel in column j, row i of a corner square that lies inside
// the shape {x >= R} u {y >= R} u (disc of radius r around (R, R)); the
// window's corner is at (0, 0). r = R for the window, R - b for its fill.
double PixelCoverage(double R, double r, int j, int i);

inline constexpr double kSqrt2 = 1.4142135623730951;

// The Gaussian-blurred indicator of [lo, hi] at t.
double BoxProfile(double t, double lo, double hi, double sigma);

// Shadow blur (Gaussian standard deviation) and its downward offset, in pixels.
inline double ShadowSigma(double scale) { return 12 * scale; }
inline double ShadowOffset(double scale) { return 4 * scale; }

// Everything the edge needs to know about one window size at one scale.
struct EdgeGeometry {
  int width = 0;   // window rectangle
  int height = 0;
  double scale = 0;        // DPI / 96
  double radius = 0;       // corner radius R
  double border = 0;       // border width b
  double innerRadius = 0;  // o = R - b
  int cornerSize = 0;      // n, side of a corner square
  int margin = 0;          // shadow margin m on every side
  double sigma = 0;        // Gaussian standard deviation of the shadow
  double offset = 0;       // downward shadow offset f
  std::int64_t kernelWidth = 0;  // K
  std::int64_t topRows = 0;      // Tt
  std::int64_t bottomRows = 0;   // Tb
  int bitmapWidth = 0;           // W' = w + 2m
  int bitmapHeight = 0;          // H' = h + 2m
  std::uint64_t pixelCount = 0;  // W' * H'
};

// Corner radius: half the shorter side for small windows, else 10 pixels per 96 DPI.
double CornerRadius(int width, int height, double scale);

// Size of the blurred corner tables: K columns, Tt top rows, Tb bottom rows.
struct ShadowKernelExtent {
  std::int64_t width = 0;
  std::int64_t topRows = 0;
  std::int64_t bottomRows = 0;
};
ShadowKernelExtent KernelExtent(double radius, double scale, int margin);

// False (an empty edge) unless width and height are positive, the scale is
// finite and positive, and the margin leaves the bitmap within 32-bit sizes.
[[nodiscard]] bool MakeEdgeGeometry(int width, int height, double scale, EdgeGeometry* out) noexcept;

// The anti-aliased corner in premultiplied 0xAARRGGBB pixels, row = distance
// from the horizontal window edge, column = distance from the vertical one
// (the top-left corner; the others mirror it).
struct CornerTable {
  int n = 0;
  std::vector<int> solidFrom;  // per row: first column wholly inside the window
  std::vector<std::uint32_t> pixels;

  std::uint32_t At(int row, int column) const { return pixels[static_cast<std::size_t>(row) * n + column]; }
};

// Border and fill are 0xRRGGBB. False when the table cannot be allocated; a
// radius of 0 or less gives an empty table (n = 0) and succeeds.
[[nodiscard]] bool BuildCornerTable(double radius, double border, std::uint32_t borderRgb, std::uint32_t fillRgb,
                                    CornerTable* out) noexcept;

// Pixels above this count are refused instead of allocated: the bitmap and
// the shadow tables stay far below it at any real screen size and scale.
inline constexpr std::uint64_t kMaxEdgePixels = std::uint64_t{1} << 28;

}  // namespace orv
