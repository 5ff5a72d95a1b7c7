// Channel "orv.net/window_corner" over the stand-in engine's real messenger,
// with the engine's view inside a test host window of this process.

#include "runner/window_corner/window_corner_plugin.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "runner/window_corner/region_corners.h"
#include "runner/window_corner/sdk_additions_dwm.h"
#include "runner/window_corner/window_corners.h"
#include "tests/runner/window_corner/corner_checks.h"
#include "tests/runner/window_corner/corner_engine.h"
#include "tests/runner/window_corner/edge_checks.h"
#include "tests/runner/window_corner/fake_corner_platform.h"
#include "tests/support/process.h"

namespace orv::test {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr wchar_t kFallbackVariable[] = L"ORV_INTERNAL_WINDOW_CORNER_FALLBACK";
constexpr wchar_t kHostClass[] = L"KilnaCornerTestHost";

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto controller = reinterpret_cast<FlutterDesktopViewControllerRef>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  LRESULT result = 0;
  if (controller != nullptr &&
      FlutterDesktopViewControllerHandleTopLevelWindowProc(controller, window, message, wparam, lparam, &result)) {
    return result;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

EncodableMap Configuration(EncodableValue enabled = EncodableValue(true)) {
  return CornerArguments(enabled, 0x202020, 0xF0F0F0, 0);
}

class CornerChannel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteWholeFile(folder_ / L"empty.jsonl", ""));
    ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_SCRIPT", (folder_ / L"empty.jsonl").c_str());
    ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_TRANSCRIPT", (folder_ / L"transcript.jsonl").c_str());
    ::SetEnvironmentVariableW(kFallbackVariable, nullptr);

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &HostProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kHostClass;
    ::RegisterClassW(&windowClass);
    host_ = ::CreateWindowExW(0, kHostClass, L"Kilna", WS_OVERLAPPEDWINDOW, 30, 30, 800, 600, nullptr, nullptr,
                              windowClass.hInstance, nullptr);
    ASSERT_NE(host_, nullptr);
    engine_ = std::make_unique<CornerEngine>();
    ASSERT_NE(engine_->controller(), nullptr);
    ::SetWindowLongPtrW(host_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(engine_->controller()));
    ::SetParent(engine_->view(), host_);
  }

  void TearDown() override {
    if (host_ != nullptr) ::SetWindowLongPtrW(host_, GWLP_USERDATA, 0);
    engine_.reset();
    if (host_ != nullptr) ::DestroyWindow(host_);
    ::SetEnvironmentVariableW(kFallbackVariable, nullptr);
  }

  Answer Configure(const EncodableValue& arguments) { return engine_->Call("configure", arguments); }

  // The host window has no corner property, no region, and no DWM call was made.
  ::testing::AssertionResult HostUntouched() {
    for (const wchar_t* name : {kCornerFallbackProperty, kRegionWidthProperty, kRegionHeightProperty}) {
      if (::GetPropW(host_, name) != nullptr) return ::testing::AssertionFailure() << "has a corner property";
    }
    if (HasRegion(host_)) return ::testing::AssertionFailure() << "has a region";
    if (!fake_.calls.empty()) return ::testing::AssertionFailure() << fake_.calls.size() << " DWM calls";
    return ::testing::AssertionSuccess();
  }

  FakeCornerPlatform fake_;
  TempFolder folder_;
  HWND host_ = nullptr;
  std::unique_ptr<CornerEngine> engine_;
};

void ExpectError(const Answer& answer, const std::string& code, const std::string& message) {
  EXPECT_EQ(answer.kind, "error");
  EXPECT_EQ(answer.code, code);
  EXPECT_EQ(answer.message, message);
}

TEST_F(CornerChannel, ArgumentsThatAreNotAMapAreRefused) {
  for (const EncodableValue& arguments :
       {EncodableValue(), EncodableValue(flutter::EncodableList{EncodableValue(true)}), EncodableValue("on"),
        EncodableValue(true)}) {
    ExpectError(Configure(arguments), "invalid_arguments", "Expected corner configuration.");
  }
  EXPECT_TRUE(HostUntouched());
}

TEST_F(CornerChannel, EveryMissingOrMistypedKeyIsRefused) {
  std::vector<EncodableMap> broken;
  for (const char* key : {"enabled", "borderRgb", "fillRgb", "shadowRgb"}) {
    EncodableMap missing = Configuration();
    missing.erase(EncodableValue(key));
    broken.push_back(missing);
  }
  broken.push_back(Configuration(EncodableValue(int32_t{1})));
  broken.push_back(Configuration(EncodableValue(int32_t{0})));
  for (const char* key : {"borderRgb", "fillRgb", "shadowRgb"}) {
    for (const EncodableValue& colour :
         {EncodableValue(int64_t{0x202020}), EncodableValue(2105376.0), EncodableValue("#202020")}) {
      EncodableMap mistyped = Configuration();
      mistyped[EncodableValue(key)] = colour;
      broken.push_back(mistyped);
    }
  }
  for (size_t i = 0; i < broken.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    ExpectError(Configure(EncodableValue(broken[i])), "invalid_arguments", "Expected enabled and RGB colors.");
  }
  EXPECT_TRUE(HostUntouched());
}

TEST_F(CornerChannel, ConfigureAttachesTheSmoothEdgeToTheHostWindow) {
  EncodableMap arguments = Configuration();
  arguments[EncodableValue("borderRgb")] = EncodableValue(int32_t{-1});
  arguments[EncodableValue("extra")] = EncodableValue("ignored");
  const Answer answer = Configure(EncodableValue(arguments));
  EXPECT_EQ(answer.kind, "success");
  EXPECT_EQ(answer.value, EncodableValue(true));

  EXPECT_TRUE(HasEdgeRegion(host_, 800, 600, {10, 6, 4, 3, 2, 2, 1, 1, 1, 1}));
  EXPECT_EQ(Property(host_, kCornerFallbackProperty), 1);
  EXPECT_EQ(Property(host_, kSmoothCornersProperty), 1);
  HWND companion = FindCompanion(host_);
  ASSERT_NE(companion, nullptr);
  EXPECT_FALSE(::IsWindowVisible(companion)) << "the host window is hidden";
  EXPECT_FALSE(HasRegion(engine_->view())) << "the view itself is never clipped";

  // The plug-in's end takes the edge with it and leaves the legacy region.
  ::SetWindowLongPtrW(host_, GWLP_USERDATA, 0);
  engine_.reset();
  EXPECT_FALSE(::IsWindow(companion));
  EXPECT_EQ(Property(host_, kSmoothCornersProperty), 0);
  EXPECT_TRUE(HasRoundedRegion(host_, 800, 600, 20));
}

TEST_F(CornerChannel, AnUnknownMethodIsNotImplemented) {
  EXPECT_EQ(engine_->Call("Configure", EncodableValue(Configuration())).kind, "notImplemented");
  EXPECT_EQ(engine_->Call("refresh", EncodableValue()).kind, "notImplemented");
  EXPECT_TRUE(HostUntouched());
}

TEST_F(CornerChannel, DisabledCornersAnswerFalseAndLeaveTheWindowAsItWas) {
  const Answer answer = Configure(EncodableValue(Configuration(EncodableValue(false))));
  EXPECT_EQ(answer.kind, "success");
  EXPECT_EQ(answer.value, EncodableValue(false));
  EXPECT_TRUE(HostUntouched());
}

TEST_F(CornerChannel, UnderNativeRoundingTheAnswerIsFalseAndNothingChanges) {
  fake_.SetBuild(22631);
  const Answer answer = Configure(EncodableValue(Configuration()));
  EXPECT_EQ(answer.kind, "success");
  EXPECT_EQ(answer.value, EncodableValue(false));
  EXPECT_TRUE(HostUntouched());
}

TEST_F(CornerChannel, TheForcedFallbackOnWindows11TurnsNativeRoundingOff) {
  fake_.SetBuild(22631);
  ::SetEnvironmentVariableW(kFallbackVariable, L"1");
  const Answer answer = Configure(EncodableValue(Configuration()));
  EXPECT_EQ(answer.value, EncodableValue(true));
  ASSERT_FALSE(fake_.calls.empty());
  EXPECT_EQ(fake_.calls[0], (DwmCall{host_, DWMWA_WINDOW_CORNER_PREFERENCE, DWMWCP_DONOTROUND}));
  EXPECT_TRUE(HasRegion(host_));
}

TEST_F(CornerChannel, AViewOutsideASeparateTopLevelWindowIsUnavailable) {
  CornerEngine loose;  // its view stays under the message-only window
  ASSERT_NE(loose.controller(), nullptr);
  ExpectError(loose.Call("configure", EncodableValue(Configuration())), "window_unavailable",
              "Top-level window is not ready.");
  EXPECT_TRUE(fake_.calls.empty());
}

TEST(CornerConfiguration, ColoursKeepTheirLow24Bits) {
  EncodableMap arguments = Configuration();
  arguments[EncodableValue("borderRgb")] = EncodableValue(int32_t{-1});
  arguments[EncodableValue("fillRgb")] = EncodableValue(int32_t{0x12345678});
  arguments[EncodableValue("shadowRgb")] = EncodableValue(int32_t{0x00ABCDEF});
  const std::optional<CornerConfiguration> configuration = ReadCornerConfiguration(arguments);
  ASSERT_TRUE(configuration.has_value());
  EXPECT_TRUE(configuration->enabled);
  EXPECT_EQ(configuration->colors.border, 0xFFFFFFu);
  EXPECT_EQ(configuration->colors.fill, 0x345678u);
  EXPECT_EQ(configuration->colors.shadow, 0xABCDEFu);
}

}  // namespace
}  // namespace orv::test
