// The smooth edge object on its own: failing during a DPI change of the host
// window, the top-level window going away before it, and many rebuilds with
// almost no GDI handles to spare.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "native/common/unique_resource.h"
#include "runner/window/win32_window.h"
#include "runner/window_corner/edge_surface.h"
#include "runner/window_corner/smooth_window_edge.h"
#include "runner/window_corner/window_corners.h"
#include "tests/runner/window_corner/corner_checks.h"
#include "tests/runner/window_corner/edge_checks.h"
#include "tests/runner/window_corner/fake_corner_platform.h"
#include "tests/runner/window_corner/test_windows.h"

namespace orv::test {
namespace {

constexpr std::uint32_t kBorder = 0x202020;
constexpr std::uint32_t kFill = 0xF0F0F0;
constexpr std::uint32_t kShadow = 0xFFFFFF;

class EdgeLifecycle : public ::testing::Test {
 protected:
  void SetUp() override { ::SetEnvironmentVariableW(L"ORV_INTERNAL_WINDOW_CORNER_FALLBACK", nullptr); }

  // What the corner policy does before it attaches an edge.
  static std::unique_ptr<SmoothWindowEdge> Attach(HWND window) {
    ApplyWindowCorners(window, true);
    auto edge = std::make_unique<SmoothWindowEdge>(window);
    EXPECT_TRUE(edge->Configure(kBorder, kFill, kShadow));
    PumpMessages();
    return edge;
  }

  static LRESULT Refresh(HWND window, bool force) {
    return ::SendMessageW(window, SmoothCornersRefreshMessage(), force ? 1 : 0, 0);
  }

  FakeCornerPlatform fake_;
};

TEST_F(EdgeLifecycle, AFailureDuringADpiChangeOfTheHostWindowLeavesTheLegacyRegion) {
  Win32Window host;
  ASSERT_TRUE(host.Create(L"Kilna", {50, 50}, {300, 200}));
  HWND window = host.GetHandle();
  ::ShowWindow(window, SW_SHOWNOACTIVATE);
  const auto edge = Attach(window);
  HWND companion = FindCompanion(window);
  ASSERT_TRUE(::IsWindowVisible(companion));

  fake_.FailLayeredUpdates(true);
  RECT suggested{40, 50, 40 + 450, 50 + 300};
  ::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
  PumpMessages();
  EXPECT_TRUE(HasRoundedRegion(window, 450, 300, 20));
  EXPECT_FALSE(::IsWindowVisible(companion));
  EXPECT_EQ(Property(window, kSmoothCornersProperty), 0);
  EXPECT_EQ(Property(window, kCornerBusyProperty), 0);
  EXPECT_EQ(fake_.debugLines.size(), 1u) << "one failure, one notice";
}

struct NcDestroySeen {
  bool seen = false;
  bool propertyLeft = true;
};

// Installed before the edge's subclass, so it sees WM_NCDESTROY after the edge.
LRESULT CALLBACK WatchNcDestroy(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                DWORD_PTR data) {
  if (message == WM_NCDESTROY) {
    auto* seen = reinterpret_cast<NcDestroySeen*>(data);
    seen->seen = true;
    seen->propertyLeft = ::GetPropW(window, kSmoothCornersProperty) != nullptr;
    ::RemoveWindowSubclass(window, &WatchNcDestroy, id);
  }
  return ::DefSubclassProc(window, message, wparam, lparam);
}

TEST_F(EdgeLifecycle, DestroyingTheWindowFirstDetachesTheEdge) {
  auto host = std::make_unique<PaintedWindow>(100, 100, 400, 300);
  HWND window = host->get();
  NcDestroySeen seen;
  ASSERT_TRUE(::SetWindowSubclass(window, &WatchNcDestroy, 7, reinterpret_cast<DWORD_PTR>(&seen)));
  auto edge = Attach(window);
  HWND companion = FindCompanion(window);
  ASSERT_NE(companion, nullptr);

  host.reset();
  EXPECT_TRUE(seen.seen);
  EXPECT_FALSE(seen.propertyLeft);
  EXPECT_FALSE(::IsWindow(companion));

  fake_.calls.clear();
  edge.reset();  // must touch no window: no corner policy, no notice
  EXPECT_TRUE(fake_.calls.empty());
  EXPECT_TRUE(fake_.debugLines.empty());
}

TEST_F(EdgeLifecycle, DestroyingTheEdgeHandsTheWindowBackToTheLegacyRegion) {
  PaintedWindow host(100, 100, 400, 300);
  auto edge = Attach(host.get());
  HWND companion = FindCompanion(host.get());
  edge.reset();
  EXPECT_FALSE(::IsWindow(companion));
  EXPECT_EQ(Property(host.get(), kSmoothCornersProperty), 0);
  EXPECT_TRUE(HasRoundedRegion(host.get(), 400, 300, 20));
  // The subclass is gone too: a refresh reaches nobody, and a move posts none.
  EXPECT_EQ(Refresh(host.get(), true), 0);
  ::SetWindowPos(host.get(), nullptr, 0, 0, 420, 320, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PumpMessages();
  EXPECT_TRUE(HasRoundedRegion(host.get(), 400, 300, 20)) << "only the edge rebuilds the region on a resize";
}

TEST_F(EdgeLifecycle, AWindowLowerThanTwoCornersKeepsOnlyItsCornerRows) {
  // Radius 1.5: two corner rows at the top and two at the bottom of a
  // three-row window overlap, and no row is left between them.
  CornerTable table;
  ASSERT_TRUE(BuildCornerTable(CornerRadius(5, 3, 1.0), 1.0, 0, 0, &table));
  ASSERT_EQ(table.solidFrom, (std::vector<int>{2, 1}));
  TestWindow window(5, 3);
  UniqueRegion region = BuildEdgeRegion(5, 3, table.solidFrom);
  ASSERT_TRUE(region);
  ASSERT_TRUE(::SetWindowRgn(window.get(), region.get(), FALSE));
  region.release();
  EXPECT_TRUE(HasEdgeRegion(window.get(), 5, 3, table.solidFrom));
}

// Takes every GDI handle the process can get but `spare`, until dropped.
class GdiHoard {
 public:
  explicit GdiHoard(size_t spare) {
    for (;;) {
      UniqueRegion region(::CreateRectRgn(0, 0, 1, 1));
      if (!region) break;
      regions_.push_back(std::move(region));
    }
    full_ = regions_.size();
    regions_.resize(regions_.size() > spare ? regions_.size() - spare : 0);
  }
  size_t full() const { return full_; }

 private:
  std::vector<UniqueRegion> regions_;
  size_t full_ = 0;
};

TEST_F(EdgeLifecycle, NoCycleOfRebuildsRecoloursAndFailuresLeaksAGdiObject) {
  PaintedWindow host(100, 100, 200, 150);
  HWND window = host.get();
  auto edge = Attach(window);
  HWND companion = FindCompanion(window);
  ASSERT_TRUE(::IsWindowVisible(companion));

  const GdiHoard hoard(150);
  ASSERT_GT(hoard.full(), 1000u) << "region creation failed early";
  int failedBuilds = 0;
  for (int cycle = 0; cycle < 300 && failedBuilds == 0; ++cycle) {
    ::SetWindowPos(window, nullptr, 0, 0, 200 + cycle % 7, 150 + cycle % 5, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PumpMessages(0);
    failedBuilds += !::IsWindowVisible(companion);
    failedBuilds += !edge->Configure(cycle % 2 ? kBorder : 0x4080C0, kFill, kShadow);

    ::ShowWindow(window, SW_MAXIMIZE);
    PumpMessages(0);
    ::ShowWindow(window, SW_RESTORE);
    PumpMessages(0);
    failedBuilds += !::IsWindowVisible(companion);

    fake_.FailLayeredUpdates(true);
    EXPECT_EQ(Refresh(window, true), 0);
    fake_.FailLayeredUpdates(false);
    failedBuilds += !edge->Configure(kBorder, kFill, kShadow);  // attaches again
    failedBuilds += Refresh(window, true) != 1;
    if (failedBuilds != 0) ADD_FAILURE() << "a build failed in cycle " << cycle;
  }
  EXPECT_EQ(failedBuilds, 0);
  EXPECT_EQ(fake_.debugLines.size(), 300u) << "one notice for each forced failure, none else";
}

}  // namespace
}  // namespace orv::test
