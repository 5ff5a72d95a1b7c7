// The runner on a 144-DPI screen. scripts/test runs this program alone, after
// setting the prefix's screen to 144 DPI and restarting the wineserver. It
// carries kilna.exe's own resources, so the host window loads the real icon.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "native/common/unique_resource.h"
#include "runner/window/win32_window.h"
#include "tests/support/kilna_run.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

class HighDpi : public ::testing::Test {
 protected:
  void SetUp() override {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    ASSERT_EQ(dpi, 144) << "the prefix's screen must be set to 144 DPI first (scripts/test does)";
  }
};

SIZE IconSize(HICON icon) {
  ICONINFO info{};
  if (icon == nullptr || !::GetIconInfo(icon, &info)) return {0, 0};
  UniqueBitmap colour(info.hbmColor);
  UniqueBitmap mask(info.hbmMask);
  BITMAP bitmap{};
  ::GetObjectW(colour ? colour.get() : mask.get(), sizeof bitmap, &bitmap);
  return {bitmap.bmWidth, colour ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

SIZE WindowIconSize(HWND window, WPARAM which) {
  return IconSize(reinterpret_cast<HICON>(::SendMessageW(window, WM_GETICON, which, 0)));
}

TEST_F(HighDpi, KilnasWindowIsScaledToTheScreen) {
  ShellStandIn shell;
  ASSERT_TRUE(shell.ready()) << shell.problem();
  KilnaOptions options;
  options.script = {R"({"op":"wait","ms":1500})", R"({"op":"quit"})"};
  KilnaSession session(options);
  HWND window = WaitForMainWindow(session.processId());
  ASSERT_NE(window, nullptr);
  RECT rect{};
  ::GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, 1080);
  EXPECT_EQ(rect.bottom - rect.top, 768);
  // Centred on the screen after scaling, and wholly on it.
  const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
  EXPECT_GE(rect.left, 0);
  EXPECT_GE(rect.top, 0);
  EXPECT_LE(rect.right, screenWidth);
  EXPECT_LE(rect.bottom, screenHeight);
  EXPECT_LE(std::abs(rect.left - (screenWidth - rect.right)), 1) << rect.left << " on " << screenWidth;
  EXPECT_LE(std::abs(rect.top - (screenHeight - rect.bottom)), 1) << rect.top << " on " << screenHeight;
  EXPECT_EQ(session.Finish().process.exitCode, 0u);
}

// Wine answers WM_GETICON from another process with no icon, so the icon
// sizes are checked on a host window of this process.
TEST_F(HighDpi, TheHostWindowsIconsAreLoadedAtTheScreensDpi) {
  Win32Window window;
  ASSERT_TRUE(window.Create(L"Kilna", {10, 10}, {720, 512}));
  ASSERT_TRUE(window.UpdateWindowIcons());
  const SIZE big = WindowIconSize(window.GetHandle(), ICON_BIG);
  const SIZE small = WindowIconSize(window.GetHandle(), ICON_SMALL);
  EXPECT_EQ(big.cx, 48);
  EXPECT_EQ(big.cy, 48);
  EXPECT_EQ(small.cx, 24);
  EXPECT_EQ(small.cy, 24);
}

}  // namespace
}  // namespace orv::test
