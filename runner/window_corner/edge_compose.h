#pragma once
// The companion bitmap of the smooth edge: the shadow ring, the snapshots of
// the shadow under the four corner squares, the anti-aliased corners drawn
// over it, and the recolouring of those corners. Everything is written into
// memory the caller hands in, so it can be the bitmap that is shown.
// Portable: no Windows header.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runner/window_corner/corner_geometry.h"

namespace orv {

// Premultiplied pixel top over pixel below, channel by channel.
std::uint32_t Over(std::uint32_t top, std::uint32_t below);

// Four n x n blocks: top-left, top-right, bottom-left, bottom-right.
inline std::size_t SnapshotCount(int n) { return n > 0 ? 4 * static_cast<std::size_t>(n) * n : 0; }

// Full build for one geometry. pixels: geometry.pixelCount entries, row 0 at
// the top; snapshots: SnapshotCount(geometry.cornerSize) entries. The table
// must be built for the geometry's radius and border. False, with the
// memory in an unspecified state, when the table does not fit the geometry
// or the shadow tables cannot be built.
[[nodiscard]] bool BuildEdge(const EdgeGeometry& geometry, const CornerTable& table, bool active, std::uint32_t shadowRgb,
                             std::uint32_t* pixels, std::uint32_t* snapshots) noexcept;

// Redraws only the 4 n^2 corner pixels with a new table over the stored
// snapshots; the shadow stays. False, touching nothing, unless the stored n
// is positive and matches the geometry, the table has that n, and the
// snapshots hold 4 n^2 pixels.
[[nodiscard]] bool RecolorEdge(const EdgeGeometry& geometry, const CornerTable& table, int storedN, const std::uint32_t* snapshots,
                               std::size_t snapshotCount, std::uint32_t* pixels) noexcept;

// A full edge in memory of its own (tools, tests and benchmarks; the window
// draws straight into its bitmap instead).
struct EdgeColors {
  std::uint32_t border = 0;
  std::uint32_t fill = 0;
  std::uint32_t shadow = 0;
};

struct EdgeBitmap {
  EdgeGeometry geometry;
  std::vector<std::uint32_t> pixels;
  std::vector<std::uint32_t> snapshots;
};

// False, with an empty bitmap and nothing allocated, for an empty geometry or
// a bitmap beyond kMaxEdgePixels; false also when memory runs out.
[[nodiscard]] bool BuildEdgeBitmap(int width, int height, double scale, bool active, const EdgeColors& colors,
                                   EdgeBitmap* out) noexcept;

// Recolours the corners of a built bitmap with a new border and fill.
[[nodiscard]] bool RecolorEdgeBitmap(std::uint32_t borderRgb, std::uint32_t fillRgb, EdgeBitmap* bitmap) noexcept;

}  // namespace orv
