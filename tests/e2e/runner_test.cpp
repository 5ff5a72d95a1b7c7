// kilna.exe driven end to end by the interface script, with the engine and
// plug-in stand-ins and the desktop shell stand-in.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/kilna_run.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

const char kQuit[] = R"({"op":"quit"})";
const char kShow[] = R"({"op":"call","channel":"window_manager","method":"show","args":null})";

std::string Wait(int ms) { return R"({"op":"wait","ms":)" + std::to_string(ms) + "}"; }

class Runner : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(shell_.ready()) << shell_.problem(); }
  ShellStandIn shell_;
};

// Positions of the names in the run's stages; -1 for missing ones.
std::vector<long> Positions(const KilnaRun& run, const std::vector<std::string>& names) {
  std::vector<long> at;
  for (const auto& name : names) {
    const auto it = std::find(run.stages.begin(), run.stages.end(), name);
    at.push_back(it == run.stages.end() ? -1 : static_cast<long>(it - run.stages.begin()));
  }
  return at;
}

long Count(const KilnaRun& run, const std::string& stage) {
  return std::count(run.stages.begin(), run.stages.end(), stage);
}

TEST_F(Runner, ANormalRunPassesEveryStageInOrderAndExitsCleanly) {
  const KilnaRun run = RunKilna({{kShow, Wait(300), kQuit}});
  ASSERT_FALSE(run.process.timedOut);
  EXPECT_EQ(run.process.exitCode, 0u);
  const std::vector<std::string> expected = {
      "runner.entry",
      "runner.com.init.begin",
      "runner.com.init.done",
      "runner.graphics.init.begin",
      "runner.graphics.init.done",
      "runner.window.create.begin",
      "main.window.onCreate.begin",
      "main.engine.construct.begin",
      "main.engine.construct.done",
      "main.engine.firstFrame.watchdogArmed",
      "main.adapter.verify.begin",
      "main.adapter.verify.done",
      "main.plugins.register.begin",
      "main.plugins.register.done",
      "main.child.attach.begin",
      "main.child.attach.done",
      "main.corner.register.begin",
      "main.corner.register.done",
      "main.window.onCreate.done",
      "runner.window.create.done",
      "runner.messageLoop.begin",
  };
  ASSERT_GE(run.stages.size(), expected.size()) << run.log;
  EXPECT_EQ(std::vector<std::string>(run.stages.begin(), run.stages.begin() + expected.size()), expected) << run.log;
  EXPECT_EQ(run.stages.back(), "runner.messageLoop.exit");
  const auto tail = Positions(run, {"main.window.shown", "main.engine.firstFrame.drawn", "main.window.destroy",
                                    "runner.messageLoop.exit"});
  for (long at : tail) EXPECT_GT(at, static_cast<long>(expected.size()) - 1) << run.log;
  EXPECT_LT(tail[2], tail[3]);
  EXPECT_EQ(Count(run, "main.window.shown"), 1);
  EXPECT_EQ(Count(run, "main.engine.firstFrame.pendingAfter5s"), 0);
  EXPECT_FALSE(FindTranscriptLine(run, {R"({"event":"nextFrameCallback","window":"main"})"}).empty());
}

TEST_F(Runner, PluginsRegisterInTableOrderWithTheSystemsOwnAfterThem) {
  const KilnaRun run = RunKilna({{kQuit}});
  std::vector<std::string> registrars;
  for (const auto& line : run.transcript) {
    const std::string prefix = R"({"event":"registrar","name":")";
    if (line.rfind(prefix, 0) == 0 && line.find(R"("window":"main")") != std::string::npos) {
      registrars.push_back(line.substr(prefix.size(), line.find('"', prefix.size()) - prefix.size()));
    }
  }
  const std::vector<std::string> expected = {
      "DesktopMultiWindowPlugin", "FileSelectorWindows",     "FlutterImePluginCApi",
      "FlutterTimezonePluginCApi", "MediaKitLibsWindowsVideoPluginCApi", "MediaKitVideoPluginCApi",
      "PasteboardPlugin",          "ScreenRetrieverWindowsPluginCApi",   "TrayManagerPlugin",
      "UrlLauncherWindows",        "WebviewAllWindowsPlugin",            "WindowManagerPlugin",
      "WindowsSingleInstancePlugin", "OrvRuntimeLogPolicy", "OrvTicketImagePicker",
      // The corner plug-in comes last, once the view is attached.
      "OrvWindowCorner",
  };
  EXPECT_EQ(registrars, expected);
  for (size_t i = 0; i < 13; ++i) {
    EXPECT_FALSE(FindTranscriptLine(run, {R"("event":"plugin","name":")" + expected[i] + "\"",
                                          R"("index":)" + std::to_string(i + 1) + ",", R"("window":"main")"})
                     .empty())
        << expected[i];
  }
}

TEST_F(Runner, ASecondaryWindowGetsItsOwnPluginSetAndNoSessionChannel) {
  const KilnaRun run = RunKilna({{R"({"op":"secondary"})", Wait(200), kQuit}});
  EXPECT_EQ(run.process.exitCode, 0u);
  std::vector<std::string> registrars;
  for (const auto& line : run.transcript) {
    const std::string prefix = R"({"event":"registrar","name":")";
    if (line.rfind(prefix, 0) == 0 && line.find(R"("window":"secondary")") != std::string::npos) {
      registrars.push_back(line.substr(prefix.size(), line.find('"', prefix.size()) - prefix.size()));
    }
  }
  const std::vector<std::string> expected = {
      "OrvRuntimeLogPolicy", "OrvWindowCorner", "OrvTicketImagePicker",
      "FileSelectorWindows", "FlutterImePluginCApi", "FlutterTimezonePluginCApi",
      "PasteboardPlugin",    "ScreenRetrieverWindowsPluginCApi", "WebviewAllWindowsPlugin", "WindowManagerPlugin",
  };
  EXPECT_EQ(registrars, expected);
  const auto at = Positions(run, {"secondary.window.created", "secondary.plugins.register.begin",
                                  "secondary.plugins.register.done"});
  EXPECT_GE(at[0], 0);
  EXPECT_LT(at[0], at[1]);
  EXPECT_LT(at[1], at[2]);
  bool secondaryAdapterLine = false;
  for (const auto& line : run.graphics) secondaryAdapterLine |= line.rfind("window=secondary adapter=", 0) == 0;
  EXPECT_TRUE(secondaryAdapterLine);
}

TEST_F(Runner, ArgumentsReachTheEngineAsUtf8) {
  const KilnaRun run = RunKilna({{kQuit}, {L"--mode=plain", L"na\u00efve \u5f20\u4e09", L"\U0001F600"}});
  EXPECT_FALSE(
      FindTranscriptLine(run, {R"("event":"engine","window":"main")",
                               "\"args\":[\"--mode=plain\",\"na\xc3\xaf" "ve \xe5\xbc\xa0\xe4\xb8\x89\",\"\xf0\x9f\x98\x80\"]"})
          .empty())
      << (run.transcript.empty() ? "" : run.transcript[0]);
}

RECT MainWindowRect(DWORD processId) {
  RECT rect{};
  if (HWND window = WaitForMainWindow(processId)) ::GetWindowRect(window, &rect);
  return rect;
}

TEST_F(Runner, TheWindowHasTheModesSizeAtTheScreensCentreAndStaysHiddenUntilShown) {
  const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
  {
    KilnaSession session({{Wait(1500), kQuit}});
    const RECT rect = MainWindowRect(session.processId());
    EXPECT_EQ(rect.right - rect.left, 720);
    EXPECT_EQ(rect.bottom - rect.top, 512);
    EXPECT_EQ(rect.left, (screenWidth - 720) / 2);
    EXPECT_EQ(rect.top, (screenHeight - 512) / 2);
    const KilnaRun run = session.Finish();
    EXPECT_EQ(Count(run, "main.window.shown"), 0) << "the entry must never show the window itself";
  }
  KilnaSession installer({{Wait(1500), kQuit}, {L"--installer"}});
  const RECT rect = MainWindowRect(installer.processId());
  EXPECT_EQ(rect.right - rect.left, 480);
  EXPECT_EQ(rect.bottom - rect.top, 320);
  EXPECT_EQ(installer.Finish().process.exitCode, 0u);
}

TEST_F(Runner, ASecondInstallerStartLeavesAtOnceButNormalStartsAreNeverBlocked) {
  KilnaSession first({{Wait(4000), kQuit}, {L"--install"}});
  ASSERT_NE(MainWindowRect(first.processId()).right, 0);
  const KilnaRun second = RunKilna({{kQuit}, {L"--install"}});
  EXPECT_EQ(second.process.exitCode, 0u);
  EXPECT_EQ(second.stages, std::vector<std::string>{"runner.entry"});
  EXPECT_TRUE(second.transcript.empty());
  const KilnaRun normal = RunKilna({{kQuit}});
  EXPECT_EQ(normal.process.exitCode, 0u);
  EXPECT_FALSE(normal.stages.empty());
  EXPECT_EQ(normal.stages.back(), "runner.messageLoop.exit");
  EXPECT_EQ(first.Finish().process.exitCode, 0u);
}

TEST_F(Runner, ASetupFolderSelectsInstallerMode) {
  TempFolder root;
  const std::wstring folder = root / L"Kilna-SETUP";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  KilnaOptions options{{Wait(1500), kQuit}};
  options.executable = CopyKilnaInto(folder);
  ASSERT_FALSE(options.executable.empty());
  KilnaSession session(options);
  const RECT rect = MainWindowRect(session.processId());
  EXPECT_EQ(rect.right - rect.left, 480);
  EXPECT_EQ(session.Finish().process.exitCode, 0u);
}

TEST_F(Runner, ForcedWarpIsRefusedBecauseWinesWarpDeviceIsNotASoftwareAdapter) {
  const KilnaRun run = RunKilna({{kQuit}, {}, {{L"ORV_WINDOWS_RENDERER", L"warp"}}});
  EXPECT_EQ(run.process.exitCode, 1u);
  EXPECT_NE(std::find(run.graphics.begin(), run.graphics.end(), "engine WARP compatibility installed"),
            run.graphics.end());
  EXPECT_NE(std::find(run.graphics.begin(), run.graphics.end(), "D3D11CreateDevice driver=WARP hr=0x00000000"),
            run.graphics.end());
  bool refusedAdapter = false;
  for (const auto& line : run.graphics) {
    refusedAdapter |= line.rfind("window=main ", 0) == 0 && line.find(" software=0 ") != std::string::npos &&
                      line.find(" warpDevices=1 ") != std::string::npos;
  }
  EXPECT_TRUE(refusedAdapter) << run.log;
  const auto at = Positions(run, {"main.adapter.verify.failed", "runner.window.create.failed"});
  EXPECT_GE(at[0], 0) << run.log;
  EXPECT_LT(at[0], at[1]);
  EXPECT_EQ(Count(run, "main.adapter.verify.done"), 0);
}

TEST_F(Runner, TheWatchdogReportsALateFirstFrameOnceAndThenTheFrame) {
  const KilnaRun run = RunKilna({{Wait(6500), kQuit}, {}, {{L"FLUTTER_STANDIN_FIRST_FRAME_MS", L"5800"}}});
  EXPECT_EQ(run.process.exitCode, 0u);
  EXPECT_EQ(Count(run, "main.engine.firstFrame.pendingAfter5s"), 1) << run.log;
  const auto at = Positions(run, {"main.engine.firstFrame.watchdogArmed", "main.engine.firstFrame.pendingAfter5s",
                                  "main.engine.firstFrame.drawn"});
  EXPECT_LT(at[0], at[1]);
  EXPECT_LT(at[1], at[2]);
}

TEST_F(Runner, WithoutDiagnosticsNoFrameCallbackIsAskedForAndTheWindowWorksTheSame) {
  KilnaOptions options{{kShow, Wait(300), kQuit}};
  options.diagnostics = false;
  const KilnaRun run = RunKilna(options);
  EXPECT_EQ(run.process.exitCode, 0u);
  EXPECT_TRUE(run.stages.empty());
  EXPECT_FALSE(FindTranscriptLine(run, {R"({"event":"frame","window":"main"})"}).empty());
  EXPECT_TRUE(FindTranscriptLine(run, {R"("event":"nextFrameCallback")"}).empty());
  EXPECT_FALSE(FindTranscriptLine(run, {R"("method":"show","reply":"success")"}).empty());
}

TEST_F(Runner, AWindowClosedBeforeItsFirstFrameRecordsTheDestroyAndNothingLater) {
  const KilnaRun run = RunKilna({{kQuit}, {}, {{L"FLUTTER_STANDIN_FIRST_FRAME_MS", L"1500"}}});
  EXPECT_EQ(run.process.exitCode, 0u);
  EXPECT_EQ(Count(run, "main.window.destroy"), 1);
  EXPECT_EQ(Count(run, "main.engine.firstFrame.drawn"), 0);
  EXPECT_EQ(Count(run, "main.engine.firstFrame.pendingAfter5s"), 0);
}

TEST_F(Runner, AnEngineWithoutAViewIsRefusedBeforeTheAdapterCheck) {
  const KilnaRun run = RunKilna({{kQuit}, {}, {{L"FLUTTER_STANDIN_VIEW", L"none"}}});
  EXPECT_EQ(run.process.exitCode, 1u);
  const auto at = Positions(run, {"main.engine.construct.done", "main.engine.invalid", "runner.window.create.failed"});
  EXPECT_GE(at[0], 0) << run.log;
  EXPECT_LT(at[0], at[1]);
  EXPECT_LT(at[1], at[2]);
  EXPECT_EQ(Count(run, "main.adapter.verify.begin"), 0);
  EXPECT_EQ(Count(run, "runner.messageLoop.begin"), 0);
}

TEST_F(Runner, OnlyTheMainEngineServesTheSessionChannel) {
  const KilnaRun run = RunKilna({{R"({"op":"secondary"})", Wait(200), kQuit}});
  EXPECT_EQ(run.process.exitCode, 0u);
  const auto handlers = [&](const std::string& channel, const std::string& window) {
    const std::string line = R"({"event":"channel","name":")" + channel + R"(","window":")" + window + R"("})";
    return std::count(run.transcript.begin(), run.transcript.end(), line);
  };
  EXPECT_EQ(handlers("orv.net/windows_session", "main"), 1);
  EXPECT_EQ(handlers("orv.net/windows_session", "secondary"), 0);
  EXPECT_EQ(handlers("orv.runtime_log_policy", "secondary"), 1);  // the secondary engine does get its own
}

}  // namespace
}  // namespace orv::test
