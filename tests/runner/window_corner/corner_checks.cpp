#include "tests/runner/window_corner/corner_checks.h"

#include "native/common/unique_resource.h"

namespace orv::test {
namespace {

UniqueRegion WindowRegion(HWND window) {
  UniqueRegion region(::CreateRectRgn(0, 0, 0, 0));
  if (region && ::GetWindowRgn(window, region.get()) == ERROR) region.reset();
  return region;
}

}  // namespace

::testing::AssertionResult HasRoundedRegion(HWND window, int width, int height, int ellipse) {
  const UniqueRegion actual = WindowRegion(window);
  if (!actual) return ::testing::AssertionFailure() << "the window has no region";
  const UniqueRegion expected(::CreateRoundRectRgn(0, 0, width + 1, height + 1, ellipse, ellipse));
  const UniqueRegion difference(::CreateRectRgn(0, 0, 0, 0));
  const int kind = ::CombineRgn(difference.get(), actual.get(), expected.get(), RGN_XOR);
  if (kind == NULLREGION) return ::testing::AssertionSuccess();
  RECT box{};
  ::GetRgnBox(actual.get(), &box);
  return ::testing::AssertionFailure() << "the region differs from a " << width << " x " << height
                                       << " rounded rectangle with a " << ellipse << " px corner ellipse; its box is ("
                                       << box.left << ", " << box.top << ", " << box.right << ", " << box.bottom
                                       << ")";
}

bool HasRegion(HWND window) { return static_cast<bool>(WindowRegion(window)); }

RECT RegionBox(HWND window) {
  RECT box{};
  if (const UniqueRegion region = WindowRegion(window)) ::GetRgnBox(region.get(), &box);
  return box;
}

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

INT_PTR Property(HWND window, const wchar_t* name) {
  return reinterpret_cast<INT_PTR>(::GetPropW(window, name));
}

}  // namespace orv::test
