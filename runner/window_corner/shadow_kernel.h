#pragma once
// The blurred cut-outs of the four rounded corners: what the shadow of the
// plain rectangle must lose near each corner. Reused while the radius, scale
// and margin stay the same, which is every resize at one DPI.
// Portable: no Windows header.

#include <cstdint>
#include <memory>
#include <vector>

namespace orv {

struct ShadowCornerKernel {
  double radius = 0;
  double scale = 0;
  int margin = 0;
  std::int64_t width = 0;       // K columns
  std::int64_t topRows = 0;     // Tt
  std::int64_t bottomRows = 0;  // Tb
  std::vector<double> top;      // Tt x K, row-major
  std::vector<double> bottom;   // Tb x K

  // The table terms of the shadow: 0 outside the tables.
  double Top(std::int64_t row, std::int64_t column) const {
    return row < topRows && column < width ? top[static_cast<std::size_t>(row * width + column)] : 0.0;
  }
  double Bottom(std::int64_t row, std::int64_t column) const {
    return row < bottomRows && column < width ? bottom[static_cast<std::size_t>(row * width + column)] : 0.0;
  }
};

// The kernel for (radius, scale, margin) from this thread's one-entry cache,
// built when any of the three differs from the cached one. Null when it
// cannot be built (a radius of 0 or less, or tables too large to allocate).
std::shared_ptr<const ShadowCornerKernel> CachedShadowCornerKernel(double radius, double scale, int margin) noexcept;

}  // namespace orv
