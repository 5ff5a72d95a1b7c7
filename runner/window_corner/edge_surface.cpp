#include "runner/window_corner/edge_surface.h"

namespace orv {
namespace {

bool IsSelection(HGDIOBJ object) { return object != nullptr && object != HGDI_ERROR; }

// CreateRectRgn swaps reversed edges; an empty span must stay empty.
UniqueRegion SpanRegion(int left, int top, int right, int bottom) {
  if (right <= left || bottom <= top) left = top = right = bottom = 0;
  return UniqueRegion(::CreateRectRgn(left, top, right, bottom));
}

bool AddSpan(HRGN region, int left, int top, int right, int bottom) {
  const UniqueRegion span = SpanRegion(left, top, right, bottom);
  return span && ::CombineRgn(region, region, span.get(), RGN_OR) != ERROR;
}

}  // namespace

bool EdgeSurface::Create(int width, int height) noexcept {
  Release();
  dc_.reset(::CreateCompatibleDC(nullptr));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down: row 0 first in memory
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_.reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dc_ || !bitmap_ || bits == nullptr) return false;
  previous_ = ::SelectObject(dc_.get(), bitmap_.get());
  if (!IsSelection(previous_)) return false;
  pixels_ = static_cast<std::uint32_t*>(bits);
  return true;
}

void EdgeSurface::Release() noexcept {
  if (dc_ && IsSelection(previous_)) ::SelectObject(dc_.get(), previous_);
  bitmap_.reset();
  dc_.reset();
  previous_ = nullptr;
  pixels_ = nullptr;
}

UniqueRegion BuildEdgeRegion(int width, int height, const std::vector<int>& solidFrom) noexcept {
  const int n = static_cast<int>(solidFrom.size());
  UniqueRegion region = SpanRegion(0, n, width, height - n);
  if (!region) return region;
  for (int cy = 0; cy < n; ++cy) {
    const int left = solidFrom[cy];
    const int right = width - solidFrom[cy];
    if (!AddSpan(region.get(), left, cy, right, cy + 1) ||
        !AddSpan(region.get(), left, height - 1 - cy, right, height - cy)) {
      return UniqueRegion();
    }
  }
  return region;
}

}  // namespace orv
