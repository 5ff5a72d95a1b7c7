// The smooth edge on a shown window of this process, configured over the
// corner channel: its companion, the window region, what the screen shows,
// and how both follow moves, resizes, maximising, activation and colours.

#include "runner/window_corner/smooth_window_edge.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "native/common/unique_resource.h"
#include "runner/window_corner/edge_companion.h"
#include "runner/window_corner/window_corners.h"
#include "tests/runner/window_corner/corner_checks.h"
#include "tests/runner/window_corner/corner_engine.h"
#include "tests/runner/window_corner/edge_checks.h"
#include "tests/runner/window_corner/fake_corner_platform.h"
#include "tests/runner/window_corner/test_windows.h"
#include "tests/support/process.h"

namespace orv::test {
namespace {

using flutter::EncodableValue;

constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kGreen = 0x00FF00;
constexpr std::uint32_t kFill = 0xF0F0F0;
constexpr std::uint32_t kWhite = 0xFFFFFF;  // a white shadow shows its alpha as grey
const std::vector<int> kSolidFromAt96Dpi = {10, 6, 4, 3, 2, 2, 1, 1, 1, 1};

EdgeBitmap Expected(int width, int height, bool active, EdgeColors colors) {
  EdgeBitmap bitmap;
  EXPECT_TRUE(BuildEdgeBitmap(width, height, 1.0, active, colors, &bitmap));
  return bitmap;
}

bool SameFrame(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Text(const RECT& r) {
  return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ")-(" + std::to_string(r.right) + ", " +
         std::to_string(r.bottom) + ")";
}

class SmoothEdge : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteWholeFile(folder_ / L"empty.jsonl", ""));
    ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_SCRIPT", (folder_ / L"empty.jsonl").c_str());
    ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_TRANSCRIPT", (folder_ / L"transcript.jsonl").c_str());
    ::SetEnvironmentVariableW(L"ORV_INTERNAL_WINDOW_CORNER_FALLBACK", nullptr);
    host_ = std::make_unique<PaintedWindow>(100, 100, 800, 600);
    ASSERT_NE(host(), nullptr);
    engine_ = std::make_unique<CornerEngine>();
    ASSERT_NE(engine_->controller(), nullptr);
    ::SetParent(engine_->view(), host());
    ::ShowWindow(engine_->view(), SW_HIDE);  // the host's own colour shows everywhere
    ::SetForegroundWindow(host());
    PumpMessages();
  }

  void TearDown() override {
    engine_.reset();
    host_.reset();
  }

  HWND host() const { return host_->get(); }

  Answer Configure(std::uint32_t border, std::uint32_t fill, std::uint32_t shadow, bool enabled = true) {
    const Answer answer = engine_->Call(
        "configure", EncodableValue(CornerArguments(EncodableValue(enabled), static_cast<std::int32_t>(border),
                                                    static_cast<std::int32_t>(fill),
                                                    static_cast<std::int32_t>(shadow))));
    PumpMessages();
    return answer;
  }

  // The screen around the window shows the expected bitmap wherever it is not
  // transparent: along the top margin, the left margin and the top-left diagonal.
  ::testing::AssertionResult MarginShows(const EdgeBitmap& expected) {
    ::Sleep(100);
    const RECT frame = WindowFrame(host());
    const int m = expected.geometry.margin;
    const ScreenShot shot({frame.left - m, frame.top - m, frame.right + m, frame.bottom + m});
    const int W = expected.geometry.bitmapWidth;
    int checked = 0;
    std::string misses;
    const auto check = [&](int X, int Y) {
      const std::uint32_t pixel = expected.pixels[static_cast<size_t>(Y) * W + X];
      if (Alpha(pixel) == 0) return;
      ++checked;
      const std::uint32_t seen = shot.At(frame.left - m + X, frame.top - m + Y);
      if (seen != Shown(pixel) && misses.size() < 400) {
        misses += " (" + std::to_string(X) + "," + std::to_string(Y) + "): " + std::to_string(seen) +
                  " != " + std::to_string(Shown(pixel));
      }
    };
    for (int Y = 0; Y < m; ++Y) check(W / 2, Y);
    for (int X = 0; X < m; ++X) check(X, expected.geometry.bitmapHeight / 2);
    for (int d = 0; d < m + expected.geometry.cornerSize; ++d) check(d, d);
    if (checked < m) return ::testing::AssertionFailure() << "only " << checked << " visible margin pixels";
    if (!misses.empty()) return ::testing::AssertionFailure() << "screen differs at" << misses;
    return ::testing::AssertionSuccess();
  }

  FakeCornerPlatform fake_;
  TempFolder folder_;
  std::unique_ptr<PaintedWindow> host_;
  std::unique_ptr<CornerEngine> engine_;
};

TEST_F(SmoothEdge, TheCompanionSurroundsTheWindowAndTheRegionKeepsTheSolidPixels) {
  const Answer answer = Configure(kRed, kFill, kWhite);
  EXPECT_EQ(answer.kind, "success");
  EXPECT_EQ(answer.value, EncodableValue(true));

  HWND companion = FindCompanion(host());
  ASSERT_NE(companion, nullptr);
  wchar_t name[64] = {};
  ::GetClassNameW(companion, name, 64);
  EXPECT_STREQ(name, L"OrvSmoothWindowEdge");
  const LONG_PTR exStyle = ::GetWindowLongPtrW(companion, GWL_EXSTYLE);
  for (LONG_PTR bit : {LONG_PTR{WS_EX_NOACTIVATE}, LONG_PTR{WS_EX_LAYERED}, LONG_PTR{WS_EX_TOOLWINDOW},
                       LONG_PTR{WS_EX_TRANSPARENT}}) {
    EXPECT_EQ(exStyle & bit, bit) << "extended style " << bit;
  }
  EXPECT_TRUE(::IsWindowVisible(companion));
  const RECT frame = WindowFrame(companion);
  EXPECT_TRUE(SameFrame(frame, {60, 60, 940, 740})) << Text(frame);

  EXPECT_TRUE(HasEdgeRegion(host(), 800, 600, kSolidFromAt96Dpi));
  CornerTable table;
  ASSERT_TRUE(BuildCornerTable(10, 1, kRed, kFill, &table));
  EXPECT_EQ(table.solidFrom, kSolidFromAt96Dpi);
  EXPECT_EQ(Property(host(), kSmoothCornersProperty), 1);
  EXPECT_EQ(Property(host(), kCornerBusyProperty), 0);
  EXPECT_TRUE(fake_.debugLines.empty());
}

TEST_F(SmoothEdge, TheScreenShowsTheShadowTheEdgePixelsAndTheWindow) {
  ASSERT_EQ(Configure(kRed, kFill, kWhite).value, EncodableValue(true));
  ASSERT_EQ(::GetForegroundWindow(), host());
  const EdgeBitmap expected = Expected(800, 600, true, {kRed, kFill, kWhite});
  EXPECT_TRUE(MarginShows(expected));

  const ScreenShot shot({100, 100, 900, 700});
  EXPECT_EQ(shot.At(100, 100), Shown(expected.pixels[40 * 880 + 40])) << "window pixel (0, 0) is the companion's";
  EXPECT_GT(Alpha(expected.pixels[40 * 880 + 40]), 0u);
  EXPECT_EQ(shot.At(109, 109), kPaintedColour) << "window pixel (9, 9) is the window's own";
  EXPECT_EQ(shot.At(500, 400), kPaintedColour);
  EXPECT_EQ(shot.At(100, 400), kPaintedColour) << "the window's left column away from the corners";
}

TEST_F(SmoothEdge, TheCompanionFollowsAMoveAtOnceAndHidesForAResizeUntilTheRefresh) {
  ASSERT_EQ(Configure(kRed, kFill, kWhite).value, EncodableValue(true));
  HWND companion = FindCompanion(host());
  ASSERT_NE(companion, nullptr);

  ::SetWindowPos(host(), nullptr, 150, 130, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_TRUE(SameFrame(WindowFrame(companion), {110, 90, 990, 770})) << Text(WindowFrame(companion));
  EXPECT_TRUE(::IsWindowVisible(companion));

  ::SetWindowPos(host(), nullptr, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_FALSE(::IsWindowVisible(companion)) << "a bitmap of the old size must not show";
  PumpMessages();
  EXPECT_TRUE(::IsWindowVisible(companion));
  EXPECT_TRUE(SameFrame(WindowFrame(companion), {110, 90, 890, 670})) << Text(WindowFrame(companion));
  EXPECT_TRUE(HasEdgeRegion(host(), 700, 500, kSolidFromAt96Dpi));
  EXPECT_EQ(FindCompanion(host()), companion);
}

TEST_F(SmoothEdge, MaximisingHidesTheEdgeAndClearsTheRegionRestoringBringsBothBack) {
  ASSERT_EQ(Configure(kRed, kFill, kWhite).value, EncodableValue(true));
  HWND companion = FindCompanion(host());

  ::ShowWindow(host(), SW_MAXIMIZE);
  PumpMessages();
  ASSERT_TRUE(::IsZoomed(host()));
  EXPECT_FALSE(::IsWindowVisible(companion));
  EXPECT_FALSE(HasRegion(host())) << "a maximised window has square corners";

  ::ShowWindow(host(), SW_RESTORE);
  PumpMessages();
  EXPECT_TRUE(::IsWindowVisible(companion));
  EXPECT_TRUE(SameFrame(WindowFrame(companion), {60, 60, 940, 740})) << Text(WindowFrame(companion));
  EXPECT_TRUE(HasEdgeRegion(host(), 800, 600, kSolidFromAt96Dpi));
  EXPECT_TRUE(fake_.debugLines.empty());
}

TEST_F(SmoothEdge, ADisplayChangeRebuildsTheEdgeAtTheSameSize) {
  ASSERT_EQ(Configure(kRed, kFill, kWhite).value, EncodableValue(true));
  HWND companion = FindCompanion(host());
  const int layeredBefore = fake_.layeredUpdates;
  ::SendMessageW(host(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 1024));
  EXPECT_FALSE(::IsWindowVisible(companion)) << "the old bitmap may not suit the new display";
  PumpMessages();
  EXPECT_TRUE(::IsWindowVisible(companion));
  EXPECT_EQ(fake_.layeredUpdates, layeredBefore + 1) << "a full build, where a move alone would show nothing new";
  EXPECT_TRUE(HasEdgeRegion(host(), 800, 600, kSolidFromAt96Dpi));
}

TEST_F(SmoothEdge, TheShadowIsLighterWhileAnotherWindowIsInTheForeground) {
  ASSERT_EQ(Configure(kRed, kFill, kWhite).value, EncodableValue(true));
  EXPECT_TRUE(MarginShows(Expected(800, 600, true, {kRed, kFill, kWhite})));

  PaintedWindow other(1100, 900, 100, 80);
  ::SetForegroundWindow(other.get());
  PumpMessages();
  ASSERT_EQ(::GetForegroundWindow(), other.get());
  EXPECT_TRUE(MarginShows(Expected(800, 600, false, {kRed, kFill, kWhite})));
  EXPECT_TRUE(HasEdgeRegion(host(), 800, 600, kSolidFromAt96Dpi));

  ::SetForegroundWindow(host());
  PumpMessages();
  EXPECT_TRUE(MarginShows(Expected(800, 600, true, {kRed, kFill, kWhite})));
}

TEST_F(SmoothEdge, ANewBorderColourRedrawsOnlyTheCorners) {
  ASSERT_EQ(Configure(kRed, kFill, kWhite).value, EncodableValue(true));
  HWND companion = FindCompanion(host());
  const UniqueRegion before(::CreateRectRgn(0, 0, 0, 0));
  ASSERT_NE(::GetWindowRgn(host(), before.get()), ERROR);
  ::Sleep(100);
  const RECT area{60, 60, 940, 740};
  const ScreenShot first(area);
  const int layeredBefore = fake_.layeredUpdates;

  ASSERT_EQ(Configure(kGreen, kFill, kWhite).value, EncodableValue(true));
  EXPECT_EQ(FindCompanion(host()), companion);
  EXPECT_EQ(fake_.layeredUpdates, layeredBefore + 1);
  const UniqueRegion after(::CreateRectRgn(0, 0, 0, 0));
  ASSERT_NE(::GetWindowRgn(host(), after.get()), ERROR);
  const UniqueRegion difference(::CreateRectRgn(0, 0, 0, 0));
  EXPECT_EQ(::CombineRgn(difference.get(), before.get(), after.get(), RGN_XOR), NULLREGION);

  ::Sleep(100);
  const ScreenShot second(area);
  const EdgeBitmap expected = Expected(800, 600, true, {kGreen, kFill, kWhite});
  int changedOutside = 0;
  int greenArcs = 0;
  int wrongCorners = 0;
  for (int Y = 0; Y < 680; ++Y) {
    for (int X = 0; X < 880; ++X) {
      const int x = X - 40;
      const int y = Y - 40;
      const bool inCorner = x >= 0 && x < 800 && y >= 0 && y < 600 && std::min(x, 799 - x) < 10 &&
                            std::min(y, 599 - y) < 10;
      const std::uint32_t seen = second.At(60 + X, 60 + Y);
      if (!inCorner) {
        changedOutside += seen != first.At(60 + X, 60 + Y);
        continue;
      }
      const std::uint32_t pixel = expected.pixels[static_cast<size_t>(Y) * 880 + X];
      if (Alpha(pixel) == 0) continue;
      wrongCorners += seen != Shown(pixel);
      greenArcs += (seen >> 8 & 0xFF) > (seen >> 16 & 0xFF) + 40;
    }
  }
  EXPECT_EQ(changedOutside, 0);
  EXPECT_EQ(wrongCorners, 0);
  EXPECT_GT(greenArcs, 4 * 8) << "the arcs show the new border colour";
}

TEST_F(SmoothEdge, ANewShadowColourRebuildsTheMargin) {
  ASSERT_EQ(Configure(kRed, kFill, kWhite).value, EncodableValue(true));
  HWND companion = FindCompanion(host());
  ASSERT_EQ(Configure(kRed, kFill, 0x80A0FF).value, EncodableValue(true));
  EXPECT_EQ(FindCompanion(host()), companion);
  EXPECT_TRUE(MarginShows(Expected(800, 600, true, {kRed, kFill, 0x80A0FF})));
}

TEST_F(SmoothEdge, TurningTheEdgeOffLeavesTheLegacyRegion) {
  ASSERT_EQ(Configure(kRed, kFill, kWhite).value, EncodableValue(true));
  HWND companion = FindCompanion(host());
  const Answer answer = Configure(kRed, kFill, kWhite, false);
  EXPECT_EQ(answer.value, EncodableValue(false));
  EXPECT_FALSE(::IsWindow(companion));
  EXPECT_EQ(FindCompanion(host()), nullptr);
  EXPECT_TRUE(HasRoundedRegion(host(), 800, 600, 20));
  EXPECT_EQ(Property(host(), kSmoothCornersProperty), 0);
  EXPECT_TRUE(fake_.debugLines.empty()) << "turning it off is no failure";
}

const std::wstring kUnavailable = L"[Orv] Smooth window edge unavailable; using legacy region.\n";

TEST_F(SmoothEdge, WhenTheFirstLayeredUpdateFailsTheLegacyRegionStays) {
  fake_.FailLayeredUpdates(true);
  const Answer answer = Configure(kRed, kFill, kWhite);
  EXPECT_EQ(answer.kind, "success");
  EXPECT_EQ(answer.value, EncodableValue(true));
  EXPECT_TRUE(HasRoundedRegion(host(), 800, 600, 20));
  EXPECT_EQ(FindCompanion(host()), nullptr);
  EXPECT_EQ(Property(host(), kSmoothCornersProperty), 0);
  EXPECT_EQ(Property(host(), kCornerBusyProperty), 0);
  EXPECT_EQ(fake_.debugLines, std::vector<std::wstring>{kUnavailable});
}

TEST_F(SmoothEdge, WhenTheRefreshAfterAResizeFailsTheLegacyRegionTakesOver) {
  ASSERT_EQ(Configure(kRed, kFill, kWhite).value, EncodableValue(true));
  HWND companion = FindCompanion(host());
  fake_.FailLayeredUpdates(true);
  ::SetWindowPos(host(), nullptr, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PumpMessages();
  EXPECT_TRUE(HasRoundedRegion(host(), 700, 500, 20));
  EXPECT_TRUE(::IsWindow(companion));
  EXPECT_FALSE(::IsWindowVisible(companion));
  EXPECT_EQ(Property(host(), kSmoothCornersProperty), 0);
  EXPECT_EQ(Property(host(), kCornerBusyProperty), 0);
  EXPECT_EQ(fake_.debugLines, std::vector<std::wstring>{kUnavailable});

  // Moving the window on does not bring the edge back or repeat the notice.
  ::SetWindowPos(host(), nullptr, 120, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  PumpMessages();
  EXPECT_FALSE(::IsWindowVisible(companion));
  EXPECT_EQ(fake_.debugLines.size(), 1u);
}

}  // namespace
}  // namespace orv::test
