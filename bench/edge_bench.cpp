// Smooth window edge: the full build (corner table, shadow, snapshots and
// compose) into a caller's bitmap, against a plain copy of that many bytes.
// Prints figures only.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "runner/window_corner/corner_geometry.h"
#include "runner/window_corner/edge_compose.h"
#include "runner/window_corner/shadow_kernel.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 25;
constexpr std::uint32_t kBorder = 0x3060C0, kFill = 0xFFFFFF, kShadow = 0x000000;

// Shortest of the runs, in milliseconds; prepare() runs untimed before each.
template <typename Prepare, typename Work>
double Shortest(Prepare prepare, Work work, int rounds = kRounds) {
  double best = 1e300;
  for (int round = 0; round < rounds; ++round) {
    prepare();
    const auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return best;
}

void Nothing() {}

struct Edge {
  orv::EdgeGeometry geometry;
  std::vector<std::uint32_t> pixels;
  std::vector<std::uint32_t> snapshots;

  Edge(int w, int h, double dpi) {
    if (!orv::MakeEdgeGeometry(w, h, dpi / 96, &geometry)) std::abort();  // the bench's sizes always fit
    pixels.assign(geometry.pixelCount, 1);  // touched once, as a shown bitmap is
    snapshots.assign(orv::SnapshotCount(geometry.cornerSize), 0);
  }

  bool Build(std::uint32_t* into, std::uint32_t border) {
    orv::CornerTable table;
    return orv::BuildCornerTable(geometry.radius, geometry.border, border, kFill, &table) &&
           orv::BuildEdge(geometry, table, true, kShadow, into, snapshots.data());
  }

  bool Recolor(std::uint32_t border) {
    orv::CornerTable table;
    return orv::BuildCornerTable(geometry.radius, geometry.border, border, kFill, &table) &&
           orv::RecolorEdge(geometry, table, geometry.cornerSize, snapshots.data(), snapshots.size(), pixels.data());
  }
};

struct Figures {
  double copy, warm, cold, fresh, recolor, kernel, table;
};

Figures Measure(int w, int h, double dpi) {
  Edge edge(w, h, dpi);
  const orv::EdgeGeometry& g = edge.geometry;
  std::vector<std::uint32_t> source(g.pixelCount, 2), target(g.pixelCount, 3);
  Figures f{};
  f.copy = Shortest(Nothing, [&] { std::memcpy(target.data(), source.data(), source.size() * 4); });

  bool ok = edge.Build(edge.pixels.data(), kBorder);
  f.warm = Shortest(Nothing, [&] { ok &= edge.Build(edge.pixels.data(), kBorder); });
  // A DPI change leaves the cache holding another scale's tables.
  f.cold = Shortest([&] { orv::CachedShadowCornerKernel(g.radius, g.scale * 1.25, g.margin); },
                    [&] { ok &= edge.Build(edge.pixels.data(), kBorder); });
  edge.Build(edge.pixels.data(), kBorder);
  f.fresh = Shortest(Nothing, [&] {
    std::unique_ptr<std::uint32_t[]> fresh(new std::uint32_t[g.pixelCount]);
    ok &= edge.Build(fresh.get(), kBorder);
  });
  f.kernel = Shortest([&] { orv::CachedShadowCornerKernel(g.radius, g.scale * 1.25, g.margin); },
                      [&] { ok &= orv::CachedShadowCornerKernel(g.radius, g.scale, g.margin) != nullptr; });
  f.table = Shortest(
      Nothing,
      [&] {
        orv::CornerTable table;
        ok &= orv::BuildCornerTable(g.radius, g.border, kBorder, kFill, &table);
      },
      20 * kRounds);
  std::uint32_t border = kBorder;
  // Microseconds each: more runs to find the undisturbed one.
  f.recolor = Shortest(Nothing, [&] { ok &= edge.Recolor(border ^= 0x00FF00); }, 20 * kRounds);
  if (!ok) std::printf("  (a build failed)\n");
  return f;
}

}  // namespace

int main() {
  struct Size {
    int w, h;
    double dpi;
  };
  const Size sizes[] = {{800, 600, 96}, {1920, 1080, 96}, {3840, 2160, 192}, {3840, 2160, 96}};
  std::printf("Smooth edge full build against memcpy of the bitmap (shortest of %d runs)\n", kRounds);
  double recolorSmall = 0, recolorLarge = 0;
  for (const Size& size : sizes) {
    const Figures f = Measure(size.w, size.h, size.dpi);
    orv::EdgeGeometry g;
    if (!orv::MakeEdgeGeometry(size.w, size.h, size.dpi / 96, &g)) std::abort();
    std::printf("%dx%d at %g DPI, bitmap %dx%d (%.1f MB):\n", size.w, size.h, size.dpi, g.bitmapWidth,
                g.bitmapHeight, g.pixelCount * 4 / 1e6);
    std::printf("  memcpy          %8.3f ms\n", f.copy);
    std::printf("  build, warm     %8.3f ms  %5.2fx copy\n", f.warm, f.warm / f.copy);
    std::printf("  build, cold     %8.3f ms  %5.2fx copy\n", f.cold, f.cold / f.copy);
    std::printf("  fresh buffer    %8.3f ms  %5.2fx copy\n", f.fresh, f.fresh / f.copy);
    std::printf("  recolour        %8.4f ms  %5.2f%% of warm build\n", f.recolor, 100 * f.recolor / f.warm);
    std::printf("  of which: corner kernel %.3f ms, corner table %.4f ms\n", f.kernel, f.table);
    if (size.dpi == 96 && size.w == 800) recolorSmall = f.recolor;
    if (size.dpi == 96 && size.w == 3840) recolorLarge = f.recolor;
  }
  std::printf("Recolour at 96 DPI, 3840x2160 against 800x600: %.2fx\n", recolorLarge / recolorSmall);
  return 0;
}
