#include "runner/window_corner/shadow_kernel.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "runner/window_corner/corner_geometry.h"

namespace orv {
namespace {

bool Fits(double rows, double columns) { return rows * columns <= static_cast<double>(kMaxEdgePixels); }

// Sizes are checked as doubles before anything becomes an integer: a huge
// scale or radius must be refused, not converted.
bool Buildable(double radius, double scale, int margin) {
  if (!(radius > 0) || !std::isfinite(radius) || !(scale > 0) || !std::isfinite(scale) || margin < 0) return false;
  const double n = std::ceil(radius);
  const double spread = 4 * ShadowSigma(scale) + radius;
  const double width = margin + std::ceil(spread);
  const double rows = margin + std::ceil(spread + ShadowOffset(scale));
  return Fits(n, n) && Fits(n, width) && Fits(rows, width);
}

// Gaussian mass of the unit interval [l, l + 1] seen from base + i depends
// on i - l alone: masses[d + n - 1] = P(base + d, 0, 1) for d in [1 - n, count),
// so each table needs count + n erf values instead of count * (n + 1).
void UnitMasses(double base, int n, std::int64_t count, double sigma, std::vector<double>& masses) {
  masses.resize(static_cast<std::size_t>(count + n - 1));
  double previous = std::erf((base - n) / (sigma * kSqrt2));
  for (std::size_t i = 0; i < masses.size(); ++i) {
    const double next = std::erf((base + static_cast<double>(i) - (n - 1)) / (sigma * kSqrt2));
    masses[i] = 0.5 * (next - previous);
    previous = next;
  }
}

// rows x K table: table[Y][X] = sum_j blurredRows[j][X] * P(Y + base, j, j + 1).
void BlurDown(const std::vector<double>& blurredRows, int n, std::int64_t width, std::int64_t rows, double base,
              double sigma, std::vector<double>& masses, std::vector<double>& table) {
  table.assign(static_cast<std::size_t>(rows * width), 0.0);
  UnitMasses(base, n, rows, sigma, masses);
  for (std::int64_t Y = 0; Y < rows; ++Y) {
    double* out = &table[static_cast<std::size_t>(Y * width)];
    for (int j = 0; j < n; ++j) {
      const double weight = masses[static_cast<std::size_t>(Y - j + n - 1)];
      const double* in = &blurredRows[static_cast<std::size_t>(j * width)];
      for (std::int64_t X = 0; X < width; ++X) out[X] += weight * in[X];
    }
  }
}

// Working memory kept by the thread between builds, so that a DPI change
// does not fault in fresh pages.
struct Scratch {
  std::vector<double> mask;
  std::vector<double> masses;
  std::vector<double> blurredRows;
};

void Build(double radius, double scale, int margin, Scratch& scratch, ShadowCornerKernel& kernel) {
  const ShadowKernelExtent extent = KernelExtent(radius, scale, margin);
  const int n = static_cast<int>(std::ceil(radius));
  const std::int64_t K = extent.width;
  const double sigma = ShadowSigma(scale);
  const double offset = ShadowOffset(scale);

  // The part of each corner pixel outside the window shape.
  scratch.mask.resize(static_cast<std::size_t>(n) * n);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      scratch.mask[static_cast<std::size_t>(i) * n + j] = 1 - std::clamp(PixelCoverage(radius, radius, j, i), 0.0, 1.0);
    }
  }

  // Blurred across: blurredRows[i][X] = sum_l mask[i][l] * P(X + 0.5 - m, l, l + 1).
  UnitMasses(0.5 - margin, n, K, sigma, scratch.masses);
  scratch.blurredRows.resize(static_cast<std::size_t>(n * K));
  for (std::int64_t X = 0; X < K; ++X) {
    for (int i = 0; i < n; ++i) {
      double sum = 0;
      for (int l = 0; l < n; ++l) {
        sum += scratch.mask[static_cast<std::size_t>(i) * n + l] * scratch.masses[static_cast<std::size_t>(X - l + n - 1)];
      }
      scratch.blurredRows[static_cast<std::size_t>(i * K + X)] = sum;
    }
  }

  // Then down: the top corners' shadow sits f lower, the bottom corners' f closer to the edge.
  BlurDown(scratch.blurredRows, n, K, extent.topRows, 0.5 - margin - offset, sigma, scratch.masses, kernel.top);
  BlurDown(scratch.blurredRows, n, K, extent.bottomRows, 0.5 - margin + offset, sigma, scratch.masses, kernel.bottom);
  kernel.radius = radius;
  kernel.scale = scale;
  kernel.margin = margin;
  kernel.width = K;
  kernel.topRows = extent.topRows;
  kernel.bottomRows = extent.bottomRows;
}

}  // namespace

std::shared_ptr<const ShadowCornerKernel> CachedShadowCornerKernel(double radius, double scale, int margin) noexcept {
  thread_local std::shared_ptr<ShadowCornerKernel> cached;
  thread_local Scratch scratch;
  if (cached && cached->radius == radius && cached->scale == scale && cached->margin == margin) return cached;
  if (!Buildable(radius, scale, margin)) return nullptr;
  try {
    // Rebuilt in place when no one else holds the old tables.
    std::shared_ptr<ShadowCornerKernel> kernel = cached.use_count() == 1 ? std::move(cached) : nullptr;
    cached = nullptr;
    if (!kernel) kernel = std::make_shared<ShadowCornerKernel>();
    Build(radius, scale, margin, scratch, *kernel);
    cached = kernel;
    return kernel;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace orv
