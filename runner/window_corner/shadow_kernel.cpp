#include "runner/window_corner/shadow_kernel.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "runner/window_corner/corner_geometry.h"

namespace orv {
namespace {

bool Fits(std::int64_t rows, std::int64_t columns) {
  return static_cast<double>(rows) * static_cast<double>(columns) <= static_cast<double>(kMaxEdgePixels);
}

// Gaussian mass of each unit interval [l, l + 1], l in [0, n), seen from t.
// Neighbouring intervals share their erf values.
void UnitProfiles(double t, int n, double sigma, std::vector<double>& edges, double* out) {
  for (int l = 0; l <= n; ++l) edges[l] = std::erf((t - l) / (sigma * kSqrt2));
  for (int l = 0; l < n; ++l) out[l] = 0.5 * (edges[l] - edges[l + 1]);
}

// rows x K table: table[Y][X] = sum_j columns[j][X] * P(Y + shift, j, j + 1).
void BlurRows(const std::vector<double>& columns, int n, std::int64_t width, std::int64_t rows, double shift,
              double sigma, std::vector<double>& edges, std::vector<double>& weights, std::vector<double>& table) {
  for (std::int64_t Y = 0; Y < rows; ++Y) {
    UnitProfiles(Y + shift, n, sigma, edges, weights.data());
    double* out = &table[static_cast<std::size_t>(Y * width)];
    for (int j = 0; j < n; ++j) {
      const double weight = weights[j];
      const double* in = &columns[static_cast<std::size_t>(j * width)];
      for (std::int64_t X = 0; X < width; ++X) out[X] += weight * in[X];
    }
  }
}

std::shared_ptr<const ShadowCornerKernel> BuildKernel(double radius, double scale, int margin) {
  const ShadowKernelExtent extent = KernelExtent(radius, scale, margin);
  const double nReal = std::ceil(radius);
  if (!(radius > 0) || !Fits(static_cast<std::int64_t>(nReal), static_cast<std::int64_t>(nReal)) ||
      !Fits(static_cast<std::int64_t>(nReal), extent.width) ||
      !Fits(std::max(extent.topRows, extent.bottomRows), extent.width)) {
    return nullptr;
  }
  const int n = static_cast<int>(nReal);
  const std::int64_t K = extent.width;
  const double sigma = ShadowSigma(scale);
  const double offset = ShadowOffset(scale);

  auto kernel = std::make_shared<ShadowCornerKernel>();
  kernel->radius = radius;
  kernel->scale = scale;
  kernel->margin = margin;
  kernel->width = K;
  kernel->topRows = extent.topRows;
  kernel->bottomRows = extent.bottomRows;
  kernel->top.assign(static_cast<std::size_t>(extent.topRows * K), 0.0);
  kernel->bottom.assign(static_cast<std::size_t>(extent.bottomRows * K), 0.0);

  // The part of each corner pixel outside the window shape.
  std::vector<double> mask(static_cast<std::size_t>(n) * n);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) mask[static_cast<std::size_t>(i) * n + j] = 1 - std::clamp(PixelCoverage(radius, radius, j, i), 0.0, 1.0);
  }

  // Blurred across: blurredRows[i][X] = sum_l mask[i][l] * P(X + 0.5 - m, l, l + 1).
  std::vector<double> edges(static_cast<std::size_t>(n) + 1);
  std::vector<double> weights(static_cast<std::size_t>(n));
  std::vector<double> blurredRows(static_cast<std::size_t>(n * K), 0.0);
  for (std::int64_t X = 0; X < K; ++X) {
    UnitProfiles(X + 0.5 - margin, n, sigma, edges, weights.data());
    for (int i = 0; i < n; ++i) {
      double sum = 0;
      for (int l = 0; l < n; ++l) sum += mask[static_cast<std::size_t>(i) * n + l] * weights[l];
      blurredRows[static_cast<std::size_t>(i * K + X)] = sum;
    }
  }

  // Then down: the top corners' shadow sits f lower, the bottom corners' f closer to the edge.
  BlurRows(blurredRows, n, K, extent.topRows, 0.5 - margin - offset, sigma, edges, weights, kernel->top);
  BlurRows(blurredRows, n, K, extent.bottomRows, 0.5 - margin + offset, sigma, edges, weights, kernel->bottom);
  return kernel;
}

}  // namespace

std::shared_ptr<const ShadowCornerKernel> CachedShadowCornerKernel(double radius, double scale, int margin) noexcept {
  thread_local std::shared_ptr<const ShadowCornerKernel> cached;
  if (cached && cached->radius == radius && cached->scale == scale && cached->margin == margin) return cached;
  try {
    auto built = BuildKernel(radius, scale, margin);
    if (built) cached = built;
    return built;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace orv
