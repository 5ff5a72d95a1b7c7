#include "runner/window_corner/shadow_bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace orv {
namespace {

// A run [begin, end) of columns (or rows) where the shadow depends on the
// other coordinate alone: no corner table reaches it and the profile is
// exactly 1, so multiplying by it and subtracting the absent table terms
// change nothing.
struct FlatRun {
  int begin = 0;
  int end = 0;
  bool Contains(int i) const { return i >= begin && i < end; }
};

FlatRun FindFlatRun(const std::vector<double>& profile, std::int64_t nearReach, std::int64_t farReach) {
  const int size = static_cast<int>(profile.size());
  auto flat = [&](int i) { return i >= nearReach && size - 1 - i >= farReach && profile[i] == 1.0; };
  FlatRun run;
  const int middle = size / 2;
  if (!flat(middle)) return run;
  run.begin = middle;
  run.end = middle + 1;
  while (run.begin > 0 && flat(run.begin - 1)) --run.begin;
  while (run.end < size && flat(run.end)) ++run.end;
  return run;
}

}  // namespace

bool ShadowField::Init(const EdgeGeometry& g) noexcept {
  if (g.pixelCount == 0 || g.pixelCount > kMaxEdgePixels) return false;
  kernel_ = CachedShadowCornerKernel(g.radius, g.scale, g.margin);
  if (!kernel_) return false;
  try {
    across_.resize(g.bitmapWidth);
    down_.resize(g.bitmapHeight);
  } catch (const std::bad_alloc&) {
    return false;
  }
  bitmapWidth_ = g.bitmapWidth;
  bitmapHeight_ = g.bitmapHeight;
  for (int X = 0; X < g.bitmapWidth; ++X) across_[X] = BoxProfile(X + 0.5 - g.margin, 0, g.width, g.sigma);
  for (int Y = 0; Y < g.bitmapHeight; ++Y) down_[Y] = BoxProfile(Y + 0.5 - g.margin - g.offset, 0, g.height, g.sigma);
  return true;
}

ShadowShade::ShadowShade(bool active, std::uint32_t shadowRgb)
    : opacity_(active ? kActiveShadowOpacity : kInactiveShadowOpacity) {
  for (std::uint32_t alpha = 0; alpha < 256; ++alpha) {
    std::uint32_t pixel = alpha << 24;
    for (int k : {0, 8, 16}) pixel |= ((alpha * ((shadowRgb >> k) & 0xFFu) + 127) / 255) << k;
    byAlpha_[alpha] = pixel;
  }
}

std::uint32_t ShadowShade::operator()(double intensity) const {
  // lround for the non-negative values here, without the library call.
  const double scaled = opacity_ * std::clamp(intensity, 0.0, 1.0) * 255;
  const int whole = static_cast<int>(scaled);
  return byAlpha_[whole + (scaled - whole >= 0.5 ? 1 : 0)];
}

void DrawShadowRing(const EdgeGeometry& g, const ShadowField& field, const ShadowShade& shade, std::uint32_t* pixels) {
  const int W = g.bitmapWidth;
  const int m = g.margin;
  const ShadowCornerKernel& kernel = field.Kernel();
  const FlatRun columns = FindFlatRun(field.Across(), kernel.width, kernel.width);
  const FlatRun rows = FindFlatRun(field.Down(), kernel.topRows, kernel.bottomRows);

  // Intensity() for the columns [from, to) of row Y, with the table rows
  // looked up once. Table terms outside the tables are skipped: subtracting
  // their 0 would not change the result.
  const std::vector<double>& across = field.Across();
  const std::int64_t K = kernel.width;
  auto shadeEach = [&](std::uint32_t* row, int Y, int from, int to) {
    const double down = field.Down()[Y];
    const std::int64_t Yb = g.bitmapHeight - 1 - Y;
    const double* top = Y < kernel.topRows ? kernel.top.data() + Y * K : nullptr;
    const double* bottom = Yb < kernel.bottomRows ? kernel.bottom.data() + Yb * K : nullptr;
    for (int X = from; X < to; ++X) {
      const int Xr = W - 1 - X;
      double e = across[X] * down;
      if (top) {
        if (X < K) e -= top[X];
        if (Xr < K) e -= top[Xr];
      }
      if (bottom) {
        if (X < K) e -= bottom[X];
        if (Xr < K) e -= bottom[Xr];
      }
      row[X] = shade(e);
    }
  };

  // Along the flat rows the left and right margins repeat one pattern.
  std::vector<std::uint32_t> sides;
  if (rows.end > rows.begin) {
    sides.resize(static_cast<std::size_t>(W));
    for (int X = 0; X < W; ++X) sides[X] = shade(field.Across()[X]);
  }

  for (int Y = 0; Y < g.bitmapHeight; ++Y) {
    std::uint32_t* row = pixels + static_cast<std::size_t>(Y) * W;
    if (Y < m || Y >= m + g.height) {
      if (columns.end > columns.begin) {
        shadeEach(row, Y, 0, columns.begin);
        std::fill(row + columns.begin, row + columns.end, shade(field.Down()[Y]));
        shadeEach(row, Y, columns.end, W);
      } else {
        shadeEach(row, Y, 0, W);
      }
      continue;
    }
    if (rows.Contains(Y)) {
      std::memcpy(row, sides.data(), sizeof(std::uint32_t) * m);
      std::memcpy(row + m + g.width, sides.data() + m + g.width, sizeof(std::uint32_t) * m);
    } else {
      shadeEach(row, Y, 0, m);
      shadeEach(row, Y, m + g.width, W);
    }
    std::fill(row + m, row + m + g.width, 0u);
  }
}

}  // namespace orv
