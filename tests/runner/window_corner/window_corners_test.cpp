// The corner policy and the legacy region on real windows of this process,
// with the build, the DPI lookup and the DWM calls faked (96 DPI screen).

#include "runner/window_corner/window_corners.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "runner/window/win32_window.h"
#include "runner/window_corner/region_corners.h"
#include "runner/window_corner/sdk_additions_dwm.h"
#include "tests/runner/window_corner/corner_checks.h"
#include "tests/runner/window_corner/fake_corner_platform.h"
#include "tests/runner/window_corner/test_windows.h"

namespace orv::test {
namespace {

constexpr wchar_t kFallbackVariable[] = L"ORV_INTERNAL_WINDOW_CORNER_FALLBACK";

class Corners : public ::testing::Test {
 protected:
  void SetUp() override { ::SetEnvironmentVariableW(kFallbackVariable, nullptr); }
  void TearDown() override { ::SetEnvironmentVariableW(kFallbackVariable, nullptr); }

  // No corner property at all, and no region.
  static ::testing::AssertionResult Untouched(HWND window) {
    for (const wchar_t* name : {kCornerBusyProperty, kCornerFallbackProperty, kRegionWidthProperty,
                                kRegionHeightProperty}) {
      if (::GetPropW(window, name) != nullptr) return ::testing::AssertionFailure() << "has a property";
    }
    if (HasRegion(window)) return ::testing::AssertionFailure() << "has a region";
    return ::testing::AssertionSuccess();
  }

  FakeCornerPlatform fake_;
};

DwmCall Policy(HWND window, DWORD value) { return {window, DWMWA_NCRENDERING_POLICY, value}; }
DwmCall Preference(HWND window, DWORD value) { return {window, DWMWA_WINDOW_CORNER_PREFERENCE, value}; }

TEST_F(Corners, AFallbackWindowIsClippedToTheRoundedRectangleOfItsSize) {
  TestWindow window(800, 600);
  ApplyWindowCorners(window.get(), true);
  EXPECT_TRUE(HasRoundedRegion(window.get(), 800, 600, 20));
  const RECT box = RegionBox(window.get());
  EXPECT_EQ(box.left, 0);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.right, 800);
  EXPECT_EQ(box.bottom, 600);
  EXPECT_EQ(Property(window.get(), kRegionWidthProperty), 800);
  EXPECT_EQ(Property(window.get(), kRegionHeightProperty), 600);
  EXPECT_EQ(Property(window.get(), kCornerFallbackProperty), 1);
  EXPECT_EQ(Property(window.get(), kCornerBusyProperty), 0);
  EXPECT_EQ(fake_.calls, std::vector<DwmCall>{Policy(window.get(), DWMNCRP_DISABLED)})
      << "build 7601 has no corner preference";
  EXPECT_EQ(fake_.versionSizeSeen, 276u);
}

TEST_F(Corners, WithoutForceOnlyASizeChangeRebuildsTheRegion) {
  TestWindow window(300, 200);
  ApplyWindowCorners(window.get(), true);
  fake_.calls.clear();
  ApplyWindowCorners(window.get(), false);
  EXPECT_TRUE(fake_.calls.empty()) << "same size: nothing to do";

  ::SetWindowPos(window.get(), nullptr, 0, 0, 320, 240, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ApplyWindowCorners(window.get(), false);
  EXPECT_TRUE(HasRoundedRegion(window.get(), 320, 240, 20));
  EXPECT_EQ(Property(window.get(), kRegionWidthProperty), 320);
  EXPECT_EQ(Property(window.get(), kRegionHeightProperty), 240);
  EXPECT_EQ(fake_.calls.size(), 1u);
}

TEST_F(Corners, AMaximisedWindowHasSquareCornersUntilItIsRestored) {
  TestWindow window(400, 300);
  ApplyWindowCorners(window.get(), true);
  ASSERT_TRUE(HasRegion(window.get()));

  ::ShowWindow(window.get(), SW_MAXIMIZE);
  ASSERT_TRUE(::IsZoomed(window.get()));
  ApplyWindowCorners(window.get(), true);
  EXPECT_FALSE(HasRegion(window.get()));
  EXPECT_EQ(Property(window.get(), kRegionWidthProperty), 0);
  EXPECT_EQ(Property(window.get(), kRegionHeightProperty), 0);

  ::ShowWindow(window.get(), SW_RESTORE);
  ApplyWindowCorners(window.get(), true);
  RECT frame{};
  ::GetWindowRect(window.get(), &frame);
  EXPECT_TRUE(HasRoundedRegion(window.get(), frame.right - frame.left, frame.bottom - frame.top, 20));
  EXPECT_EQ(Property(window.get(), kRegionWidthProperty), frame.right - frame.left);
}

TEST_F(Corners, AnEmptyWindowGetsNoRegionNoSizeAndNoDwmCall) {
  TestWindow window(0, 0);
  ApplyWindowCorners(window.get(), true);
  EXPECT_FALSE(HasRegion(window.get()));
  EXPECT_EQ(Property(window.get(), kRegionWidthProperty), 0);
  EXPECT_EQ(Property(window.get(), kRegionHeightProperty), 0);
  EXPECT_TRUE(fake_.calls.empty());
  // The window is in fallback mode all the same; only its region waits for a size.
  EXPECT_EQ(Property(window.get(), kCornerFallbackProperty), 1);
}

TEST_F(Corners, RefusedWindowsAreNotTouchedAtAll) {
  TestWindow busy(300, 200);
  ::SetPropW(busy.get(), kCornerBusyProperty, reinterpret_cast<HANDLE>(1));
  ApplyWindowCorners(busy.get(), true);
  EXPECT_EQ(Property(busy.get(), kCornerBusyProperty), 1) << "another call's mark stays";
  ::RemovePropW(busy.get(), kCornerBusyProperty);
  EXPECT_TRUE(Untouched(busy.get()));

  TestWindow parent(300, 200);
  TestWindow child(100, 100, parent.get());
  ApplyWindowCorners(child.get(), true);
  EXPECT_TRUE(Untouched(child.get()));
  EXPECT_TRUE(Untouched(parent.get()));

  ApplyWindowCorners(nullptr, true);
  EXPECT_TRUE(fake_.calls.empty());
}

// A smooth edge stand-in: answers the refresh message as told, after an
// optional nested ApplyWindowCorners.
struct EdgeAnswer {
  LRESULT answer = 0;
  bool nested = false;
  int refreshes = 0;
  WPARAM force = 99;
  bool busyDuringRefresh = false;
};

LRESULT CALLBACK EdgeSubclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR data) {
  if (message != SmoothCornersRefreshMessage()) return ::DefSubclassProc(window, message, wparam, lparam);
  auto* edge = reinterpret_cast<EdgeAnswer*>(data);
  ++edge->refreshes;
  edge->force = wparam;
  edge->busyDuringRefresh = ::GetPropW(window, kCornerBusyProperty) != nullptr;
  if (edge->nested) ApplyWindowCorners(window, true);
  return edge->answer;
}

TEST_F(Corners, ANestedCallFromTheSmoothEdgesRefreshDoesNothing) {
  TestWindow window(500, 400);
  EdgeAnswer edge{.answer = 0, .nested = true};
  ASSERT_TRUE(::SetWindowSubclass(window.get(), &EdgeSubclass, 1, reinterpret_cast<DWORD_PTR>(&edge)));
  ::SetPropW(window.get(), kSmoothCornersProperty, reinterpret_cast<HANDLE>(1));

  ApplyWindowCorners(window.get(), true);
  EXPECT_EQ(edge.refreshes, 1) << "the nested call must not ask the edge again";
  EXPECT_TRUE(edge.busyDuringRefresh);
  EXPECT_EQ(fake_.calls, std::vector<DwmCall>{Policy(window.get(), DWMNCRP_DISABLED)}) << "one region step only";
  EXPECT_TRUE(HasRoundedRegion(window.get(), 500, 400, 20));
  EXPECT_EQ(Property(window.get(), kCornerBusyProperty), 0);
  ::RemoveWindowSubclass(window.get(), &EdgeSubclass, 1);
}

TEST_F(Corners, ASmoothEdgeThatTakesTheRefreshKeepsTheRegionAway) {
  TestWindow window(500, 400);
  EdgeAnswer edge{.answer = 1};
  ASSERT_TRUE(::SetWindowSubclass(window.get(), &EdgeSubclass, 1, reinterpret_cast<DWORD_PTR>(&edge)));
  ::SetPropW(window.get(), kSmoothCornersProperty, reinterpret_cast<HANDLE>(1));

  ApplyWindowCorners(window.get(), true);
  EXPECT_EQ(edge.force, 1u);
  ApplyWindowCorners(window.get(), false);
  EXPECT_EQ(edge.force, 0u);
  EXPECT_EQ(edge.refreshes, 2);
  EXPECT_FALSE(HasRegion(window.get()));
  EXPECT_TRUE(fake_.calls.empty());
  EXPECT_EQ(Property(window.get(), kCornerFallbackProperty), 1);

  // Without the edge's property the message is not sent at all.
  ::RemovePropW(window.get(), kSmoothCornersProperty);
  ApplyWindowCorners(window.get(), true);
  EXPECT_EQ(edge.refreshes, 2);
  EXPECT_TRUE(HasRoundedRegion(window.get(), 500, 400, 20));
  ::RemoveWindowSubclass(window.get(), &EdgeSubclass, 1);
}

TEST_F(Corners, ADpiChangeOfTheHostWindowRebuildsTheRegionForTheNewSize) {
  Win32Window host;
  ASSERT_TRUE(host.Create(L"Kilna", {0, 0}, {300, 200}));
  RECT suggested{40, 50, 40 + 450, 50 + 300};
  ::SendMessageW(host.GetHandle(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_TRUE(HasRoundedRegion(host.GetHandle(), 450, 300, 20));
  EXPECT_EQ(Property(host.GetHandle(), kRegionWidthProperty), 450);
  EXPECT_EQ(Property(host.GetHandle(), kRegionHeightProperty), 300);
}

TEST_F(Corners, ReturningToNativeRoundingUndoesTheFallback) {
  TestWindow window(400, 300);
  ApplyWindowCorners(window.get(), true);
  ASSERT_TRUE(HasRegion(window.get()));
  fake_.calls.clear();

  fake_.SetBuild(22631);
  ApplyWindowCorners(window.get(), true);
  EXPECT_FALSE(HasRegion(window.get()));
  EXPECT_EQ(Property(window.get(), kCornerFallbackProperty), 0);
  EXPECT_EQ(Property(window.get(), kRegionWidthProperty), 0);
  EXPECT_EQ(Property(window.get(), kRegionHeightProperty), 0);
  EXPECT_EQ(fake_.calls, (std::vector<DwmCall>{Policy(window.get(), DWMNCRP_USEWINDOWSTYLE),
                                               Preference(window.get(), DWMWCP_ROUND)}));
}

TEST_F(Corners, NativeRoundingLeavesTheRegionOfAWindowNeverInFallbackAlone) {
  TestWindow window(400, 300);
  ASSERT_TRUE(::SetWindowRgn(window.get(), ::CreateRoundRectRgn(0, 0, 401, 301, 8, 8), FALSE));
  fake_.SetBuild(22631);
  ApplyWindowCorners(window.get(), true);
  EXPECT_EQ(fake_.calls, std::vector<DwmCall>{Preference(window.get(), DWMWCP_ROUND)});
  EXPECT_TRUE(HasRoundedRegion(window.get(), 400, 300, 8));
  EXPECT_EQ(Property(window.get(), kCornerFallbackProperty), 0);
}

TEST_F(Corners, TheForcedFallbackTurnsNativeRoundingOffAndUsesTheRegion) {
  TestWindow window(400, 300);
  fake_.SetBuild(22631);
  ::SetEnvironmentVariableW(kFallbackVariable, L"1");
  ApplyWindowCorners(window.get(), true);
  EXPECT_EQ(fake_.calls, (std::vector<DwmCall>{Preference(window.get(), DWMWCP_DONOTROUND),
                                               Policy(window.get(), DWMNCRP_DISABLED)}));
  EXPECT_TRUE(HasRoundedRegion(window.get(), 400, 300, 20));
  EXPECT_EQ(Property(window.get(), kCornerFallbackProperty), 1);
}

TEST_F(Corners, NativeCornersNeedAWindows11BuildAndNoForcedFallback) {
  struct Row {
    DWORD build;
    const wchar_t* variable;  // null: unset
    bool native;
  };
  const Row rows[] = {
      {22000, nullptr, true}, {22631, nullptr, true}, {21999, nullptr, false}, {7601, nullptr, false},
      {22631, L"1", false},   {22000, L"1", false},   {22631, L"0", true},     {22631, L"", true},
      {22631, L"11", true},   {22631, L"10", true},   {22631, L"1 ", true},    {7601, L"0", false},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    fake_.SetBuild(rows[i].build);
    ::SetEnvironmentVariableW(kFallbackVariable, rows[i].variable);
    EXPECT_EQ(UseNativeCorners(), rows[i].native) << "row " << i;
    EXPECT_EQ(IsWindows11Build(), rows[i].build > 21999) << "row " << i;
  }
}

TEST_F(Corners, AnUnknownBuildIsNotWindows11) {
  fake_.SetBuild(std::nullopt);
  EXPECT_FALSE(IsWindows11Build());
  EXPECT_FALSE(UseNativeCorners());

  fake_.SetBuild(22631);
  fake_.SetVersionStatus(static_cast<LONG>(0xC000000D));  // invalid parameter
  EXPECT_FALSE(IsWindows11Build());
  EXPECT_FALSE(UseNativeCorners());
  fake_.SetVersionStatus(0);
  EXPECT_TRUE(IsWindows11Build());
}

TEST(CornerPlatform, TheRealLookupsFindWinesFunctions) {
  EXPECT_NE(FindRtlGetVersion(), nullptr);
  EXPECT_NE(FindGetDpiForWindow(), nullptr);
  EXPECT_FALSE(IsWindows11Build()) << "Wine reports build 7601 unless told otherwise";
  TestWindow window(100, 100);
  EXPECT_EQ(GetWindowDpi(window.get()), 96u);
}

}  // namespace
}  // namespace orv::test
