#include "runner/window_corner/edge_compose.h"

#include <new>

#include "runner/window_corner/shadow_bitmap.h"

namespace orv {
namespace {

// Bitmap position of entry [cy][cx] of corner block q (odd blocks on the
// right, blocks 2 and 3 at the bottom).
struct BitmapSpot {
  int X;
  int Y;
};

BitmapSpot CornerSpot(const EdgeGeometry& g, int q, int cx, int cy) {
  return {g.margin + ((q & 1) ? g.width - 1 - cx : cx), g.margin + (q >= 2 ? g.height - 1 - cy : cy)};
}

std::size_t CornerIndex(const EdgeGeometry& g, int q, int cx, int cy) {
  const BitmapSpot spot = CornerSpot(g, q, cx, cy);
  return static_cast<std::size_t>(spot.Y) * g.bitmapWidth + spot.X;
}

// The edge pixel over the shadow where the window shape covers it partly;
// where it covers it wholly the region keeps the shadow hidden anyway.
std::uint32_t CornerPixel(const CornerTable& table, int cx, int cy, std::uint32_t shadow) {
  const std::uint32_t top = table.At(cy, cx);
  return cx < table.solidFrom[cy] ? Over(top, shadow) : top;
}

// A table of side n whose rows and pixels are all there.
bool Complete(const CornerTable& table, int n) {
  return n > 0 && table.n == n && table.solidFrom.size() == static_cast<std::size_t>(n) &&
         table.pixels.size() == static_cast<std::size_t>(n) * n;
}

template <typename Visit>
void ForEachCornerEntry(int n, Visit visit) {
  for (int q = 0; q < 4; ++q) {
    for (int cy = 0; cy < n; ++cy) {
      for (int cx = 0; cx < n; ++cx) visit(q, cx, cy, (static_cast<std::size_t>(q) * n + cy) * n + cx);
    }
  }
}

}  // namespace

std::uint32_t Over(std::uint32_t top, std::uint32_t below) {
  const std::uint32_t keep = 255 - (top >> 24);
  std::uint32_t out = 0;
  for (int k : {0, 8, 16, 24}) {
    out |= ((((below >> k) & 0xFFu) * keep + 127) / 255 + ((top >> k) & 0xFFu)) << k;
  }
  return out;
}

bool BuildEdge(const EdgeGeometry& g, const CornerTable& table, bool active, std::uint32_t shadowRgb,
               std::uint32_t* pixels, std::uint32_t* snapshots) noexcept {
  if (!pixels || !snapshots || !Complete(table, g.cornerSize)) return false;
  try {
    ShadowField field;
    if (!field.Init(g)) return false;
    const ShadowShade shade(active, shadowRgb);
    DrawShadowRing(g, field, shade, pixels);
    // Every snapshot before any corner is drawn: the blocks of a tiny window overlap.
    ForEachCornerEntry(table.n, [&](int q, int cx, int cy, std::size_t entry) {
      const BitmapSpot spot = CornerSpot(g, q, cx, cy);
      snapshots[entry] = shade(field.Intensity(spot.X, spot.Y));
    });
    ForEachCornerEntry(table.n, [&](int q, int cx, int cy, std::size_t entry) {
      pixels[CornerIndex(g, q, cx, cy)] = CornerPixel(table, cx, cy, snapshots[entry]);
    });
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool RecolorEdge(const EdgeGeometry& g, const CornerTable& table, int storedN, const std::uint32_t* snapshots,
                 std::size_t snapshotCount, std::uint32_t* pixels) noexcept {
  if (!pixels || !snapshots || storedN != g.cornerSize || !Complete(table, storedN) ||
      snapshotCount != SnapshotCount(storedN)) {
    return false;
  }
  ForEachCornerEntry(storedN, [&](int q, int cx, int cy, std::size_t entry) {
    pixels[CornerIndex(g, q, cx, cy)] = CornerPixel(table, cx, cy, snapshots[entry]);
  });
  return true;
}

bool BuildEdgeBitmap(int width, int height, double scale, bool active, const EdgeColors& colors,
                     EdgeBitmap* out) noexcept {
  if (!out) return false;
  *out = EdgeBitmap{};
  EdgeGeometry g;
  if (!MakeEdgeGeometry(width, height, scale, &g) || g.pixelCount > kMaxEdgePixels) return false;
  CornerTable table;
  if (!BuildCornerTable(g.radius, g.border, colors.border, colors.fill, &table)) return false;
  EdgeBitmap bitmap;
  try {
    bitmap.pixels.resize(static_cast<std::size_t>(g.pixelCount));
    bitmap.snapshots.resize(SnapshotCount(table.n));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!BuildEdge(g, table, active, colors.shadow, bitmap.pixels.data(), bitmap.snapshots.data())) return false;
  bitmap.geometry = g;
  *out = std::move(bitmap);
  return true;
}

bool RecolorEdgeBitmap(std::uint32_t borderRgb, std::uint32_t fillRgb, EdgeBitmap* bitmap) noexcept {
  if (!bitmap) return false;
  const EdgeGeometry& g = bitmap->geometry;
  CornerTable table;
  if (!BuildCornerTable(g.radius, g.border, borderRgb, fillRgb, &table)) return false;
  return RecolorEdge(g, table, g.cornerSize, bitmap->snapshots.data(), bitmap->snapshots.size(),
                     bitmap->pixels.data());
}

}  // namespace orv
