#pragma once
// The soft drop shadow around the window: the blurred intensity of the
// rounded rectangle at each bitmap pixel, its premultiplied pixel, and the
// drawing of the shadow ring into a caller's bitmap.
// Portable: no Windows header.

#include <cstdint>
#include <memory>
#include <vector>

#include "runner/window_corner/corner_geometry.h"
#include "runner/window_corner/shadow_kernel.h"

namespace orv {

inline constexpr double kActiveShadowOpacity = 0.22;
inline constexpr double kInactiveShadowOpacity = 0.14;

// The blurred rounded rectangle [0, w] x [f, f + h] over the bitmap of one
// geometry: the separable blur of the plain rectangle minus the four blurred
// corner cut-outs.
class ShadowField {
 public:
  // False when the geometry is empty or the profiles or the corner kernel
  // cannot be allocated.
  [[nodiscard]] bool Init(const EdgeGeometry& geometry) noexcept;

  // E at bitmap pixel (X, Y), before clamping and quantisation.
  double Intensity(int X, int Y) const {
    const int Xr = bitmapWidth_ - 1 - X;
    const int Yb = bitmapHeight_ - 1 - Y;
    return across_[X] * down_[Y] - kernel_->Top(Y, X) - kernel_->Top(Y, Xr) - kernel_->Bottom(Yb, X) -
           kernel_->Bottom(Yb, Xr);
  }

  // The separable profiles: Hp over the columns, Vp over the rows.
  const std::vector<double>& Across() const { return across_; }
  const std::vector<double>& Down() const { return down_; }
  const ShadowCornerKernel& Kernel() const { return *kernel_; }

 private:
  int bitmapWidth_ = 0;
  int bitmapHeight_ = 0;
  std::vector<double> across_;
  std::vector<double> down_;
  std::shared_ptr<const ShadowCornerKernel> kernel_;
};

// Premultiplied shadow pixels by alpha: quantises E for one opacity and colour.
class ShadowShade {
 public:
  ShadowShade(bool active, std::uint32_t shadowRgb);
  std::uint32_t operator()(double intensity) const;

 private:
  double opacity_;
  std::uint32_t byAlpha_[256];
};

// Writes the shadow into every bitmap pixel outside the window rectangle and
// 0 into every pixel inside it. pixels holds geometry.pixelCount entries,
// row 0 at the top.
void DrawShadowRing(const EdgeGeometry& geometry, const ShadowField& field, const ShadowShade& shade,
                    std::uint32_t* pixels);

}  // namespace orv
