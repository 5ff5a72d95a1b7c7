#pragma once
// What the smooth edge hands to the system: the memory bitmap its companion
// window shows, and the region that clips the top-level window to the pixels
// wholly inside its rounded shape.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "native/common/unique_resource.h"

namespace orv {

// A top-down 32-bit DIB section selected into a memory DC.
class EdgeSurface {
 public:
  EdgeSurface() = default;
  ~EdgeSurface() { Release(); }
  EdgeSurface(const EdgeSurface&) = delete;
  EdgeSurface& operator=(const EdgeSurface&) = delete;

  // False when the DC, the bitmap, its pixels or the selection is missing;
  // whatever was made is kept until Release.
  [[nodiscard]] bool Create(int width, int height) noexcept;
  // Puts the DC's previous bitmap back, then deletes the bitmap and the DC.
  void Release() noexcept;

  HDC dc() const noexcept { return dc_.get(); }
  std::uint32_t* pixels() const noexcept { return pixels_; }

 private:
  UniqueMemoryDc dc_;
  UniqueBitmap bitmap_;
  HGDIOBJ previous_ = nullptr;
  std::uint32_t* pixels_ = nullptr;
};

// The window rows [n, height - n) whole, plus for each corner row cy < n the
// rows cy and height - 1 - cy from solidFrom[cy] to width - solidFrom[cy].
// Null when a GDI call fails; nothing is left behind then.
UniqueRegion BuildEdgeRegion(int width, int height, const std::vector<int>& solidFrom) noexcept;

}  // namespace orv
