// The log policy plug-in's hold on its engine's messenger, against the engine
// stand-in in this process.

#include "runner/logging/runtime_log_policy.h"

#include <gtest/gtest.h>

#include <flutter_standin.h>
#include <flutter_windows.h>

#include "tests/support/engine_registry.h"
#include "tests/support/process.h"

namespace orv {
namespace {

TEST(RuntimeLogPolicy, ThePluginHoldsTheMessengerUntilItsEngineGoes) {
  test::TempFolder work;
  ASSERT_TRUE(test::WriteWholeFile(work / L"empty.jsonl", ""));
  ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_SCRIPT", (work / L"empty.jsonl").c_str());
  ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_TRANSCRIPT", (work / L"transcript.jsonl").c_str());
  FlutterDesktopEngineRef engine = test::CreateStandinEngine();
  ASSERT_NE(engine, nullptr);
  FlutterDesktopMessengerRef messenger = FlutterDesktopMessengerAddRef(FlutterDesktopEngineGetMessenger(engine));
  const int before = FlutterStandinMessengerReferenceCount(messenger);

  test::EngineRegistry registry(engine);
  RegisterRuntimeLogPolicy(&registry);
  EXPECT_GT(FlutterStandinMessengerReferenceCount(messenger), before);  // its own and its channel's

  // The registrar destroys the plug-in with the engine; only this test's
  // reference may be left.
  FlutterDesktopEngineDestroy(engine);
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(messenger));
  EXPECT_EQ(FlutterStandinMessengerReferenceCount(messenger), 1);
  FlutterDesktopMessengerRelease(messenger);
}

}  // namespace
}  // namespace orv
