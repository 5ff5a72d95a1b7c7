#include "tests/runner/window_corner/edge_checks.h"

#include <string>

#include "native/common/unique_resource.h"
#include "runner/window_corner/edge_companion.h"

namespace orv::test {

HWND FindCompanion(HWND owner) {
  HWND candidate = nullptr;
  while ((candidate = ::FindWindowExW(nullptr, candidate, kSmoothEdgeClass, nullptr)) != nullptr) {
    if (::GetWindow(candidate, GW_OWNER) == owner) return candidate;
  }
  return nullptr;
}

RECT WindowFrame(HWND window) {
  RECT frame{};
  ::GetWindowRect(window, &frame);
  return frame;
}

void PumpMessages(DWORD pauseMs) {
  for (int round = 0; round < 2; ++round) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(pauseMs);
  }
}

::testing::AssertionResult HasEdgeRegion(HWND window, int width, int height, const std::vector<int>& solidFrom) {
  const UniqueRegion region(::CreateRectRgn(0, 0, 0, 0));
  if (!region || ::GetWindowRgn(window, region.get()) == ERROR) {
    return ::testing::AssertionFailure() << "the window has no region";
  }
  const auto inside = [&](int x, int y) { return ::PtInRegion(region.get(), x, y) != FALSE; };
  const auto rowSpans = [&](int y, int from, int to) {
    return inside(from, y) && inside(to - 1, y) && !inside(from - 1, y) && !inside(to, y);
  };
  const int n = static_cast<int>(solidFrom.size());
  for (int cy = 0; cy < n; ++cy) {
    const int from = solidFrom[cy];
    for (int y : {cy, height - 1 - cy}) {
      if (!rowSpans(y, from, width - from)) {
        return ::testing::AssertionFailure() << "row " << y << " does not span [" << from << ", " << width - from
                                             << ")";
      }
    }
  }
  for (int y = n; y < height - n; ++y) {
    if (!rowSpans(y, 0, width)) return ::testing::AssertionFailure() << "row " << y << " is not the full width";
  }
  if (inside(width / 2, -1) || inside(width / 2, height)) {
    return ::testing::AssertionFailure() << "the region reaches beyond the window";
  }
  return ::testing::AssertionSuccess();
}

ScreenShot::ScreenShot(const RECT& area) : area_(area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  HDC screen = ::GetDC(nullptr);
  const UniqueMemoryDc memory(::CreateCompatibleDC(screen));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const UniqueBitmap bitmap(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (memory && bitmap && bits != nullptr) {
    HGDIOBJ previous = ::SelectObject(memory.get(), bitmap.get());
    ::BitBlt(memory.get(), 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    ::GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    pixels_.assign(pixels, pixels + static_cast<size_t>(width) * height);
    ::SelectObject(memory.get(), previous);
  }
  ::ReleaseDC(nullptr, screen);
}

std::uint32_t ScreenShot::At(int x, int y) const {
  const int width = area_.right - area_.left;
  const size_t index = static_cast<size_t>(y - area_.top) * width + (x - area_.left);
  return index < pixels_.size() ? pixels_[index] & 0xFFFFFFu : 0xDEADBEEFu;
}

}  // namespace orv::test
