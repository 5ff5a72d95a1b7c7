#include "runner/window_corner/region_corners.h"

#include "native/common/unique_resource.h"
#include "runner/window_corner/corner_platform.h"

namespace orv {
namespace {

constexpr int kRadiusAt96Dpi = 10;

// A window's DC, released when the owner goes.
class WindowDc {
 public:
  WindowDc(HWND window, HDC dc) noexcept : window_(window), dc_(dc) {}
  ~WindowDc() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

int StoredSize(HWND window, const wchar_t* property) {
  return static_cast<int>(reinterpret_cast<INT_PTR>(::GetPropW(window, property)));
}

void StoreSize(HWND window, const wchar_t* property, int size) {
  ::SetPropW(window, property, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(size)));
}

}  // namespace

UINT GetWindowDpi(HWND window) noexcept {
  const CornerPlatform& platform = ActiveCornerPlatform();
  if (const GetDpiForWindowFn getDpi = platform.FindGetDpiForWindow()) {
    if (const UINT dpi = getDpi(window); dpi != 0) return dpi;
  }
  const WindowDc dc(window, platform.GetDC(window));
  if (dc.get() == nullptr) return 96;
  const int dpi = ::GetDeviceCaps(dc.get(), LOGPIXELSX);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void ClearLegacyRegion(HWND window) noexcept {
  ::SetWindowRgn(window, nullptr, TRUE);
  ::RemovePropW(window, kRegionWidthProperty);
  ::RemovePropW(window, kRegionHeightProperty);
}

void ApplyLegacyRegion(HWND window, bool force) noexcept {
  if (::IsZoomed(window)) {
    ClearLegacyRegion(window);
    return;
  }
  RECT frame{};
  if (!::GetWindowRect(window, &frame)) frame = RECT{};
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  if (width <= 0 || height <= 0) return;
  if (!force && StoredSize(window, kRegionWidthProperty) == width &&
      StoredSize(window, kRegionHeightProperty) == height) {
    return;
  }
  // The system frame and its shadow would otherwise show outside the region.
  SetWindowDwmAttribute(window, DWMWA_NCRENDERING_POLICY, DWMNCRP_DISABLED);
  const int radius = ::MulDiv(kRadiusAt96Dpi, static_cast<int>(GetWindowDpi(window)), 96);
  // Such a region's right and bottom edges are exclusive, hence the extra pixel.
  UniqueRegion region(::CreateRoundRectRgn(0, 0, width + 1, height + 1, 2 * radius, 2 * radius));
  if (!region) return;
  if (!::SetWindowRgn(window, region.get(), TRUE)) return;
  region.release();  // the window owns it now
  StoreSize(window, kRegionWidthProperty, width);
  StoreSize(window, kRegionHeightProperty, height);
}

}  // namespace orv
