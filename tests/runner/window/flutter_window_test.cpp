// The view window in this process, against the engine stand-in. ctest runs
// this program twice: once as it is and once with startup diagnostics on, so
// every check here holds in both and follows DiagnosticsEnabled().

#include "runner/window/flutter_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "runner/diagnostics/startup_diagnostics.h"
#include "tests/support/process.h"

namespace orv {
namespace {

using test::ReadWholeFile;
using test::SplitLines;
using test::TempFolder;

long CountEvents(const std::vector<std::string>& transcript, const std::string& event) {
  const std::string fragment = R"({"event":")" + event + R"(","window":"main")";
  return std::count_if(transcript.begin(), transcript.end(),
                       [&](const std::string& line) { return line.rfind(fragment, 0) == 0; });
}

// Runs the window's message loop until `done` holds or the time is up.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
  const ULONGLONG until = ::GetTickCount64() + timeoutMs;
  while (!done()) {
    if (::GetTickCount64() >= until) return false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(10);
  }
  return true;
}

TEST(FlutterWindow, TheFirstFrameWatchdogExistsOnlyWithStartupDiagnostics) {
  TempFolder work;
  const std::wstring transcriptPath = work / L"transcript.jsonl";
  const std::wstring scriptPath = work / L"script.jsonl";
  ASSERT_TRUE(test::WriteWholeFile(scriptPath, ""));  // the interface does nothing by itself
  ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_SCRIPT", scriptPath.c_str());
  ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_TRANSCRIPT", transcriptPath.c_str());
  ::SetEnvironmentVariableW(L"FLUTTER_STANDIN_FIRST_FRAME_MS", L"300");

  const bool diagnostics = DiagnosticsEnabled();
  {
    FlutterWindow window(flutter::DartProject(L"data"));
    ASSERT_TRUE(window.Create(L"Kilna", {10, 10}, {720, 512}));
    HWND handle = window.GetHandle();
    ASSERT_NE(handle, nullptr);

    // Killing a timer the window does not have fails, so this tells whether
    // the watchdog was set. The first frame cannot have come yet: no message
    // has been dispatched since creation.
    EXPECT_EQ(::KillTimer(handle, kFirstFrameWatchdogId) != FALSE, diagnostics);

    // The window works the same either way: its first frame is drawn.
    const auto frameDrawn = [&] {
      const auto text = ReadWholeFile(transcriptPath);
      return text && CountEvents(SplitLines(*text), "frame") == 1;
    };
    EXPECT_TRUE(PumpUntil(frameDrawn, 10000));
    window.Destroy();
  }

  const auto text = ReadWholeFile(transcriptPath);
  ASSERT_TRUE(text.has_value());
  const std::vector<std::string> transcript = SplitLines(*text);
  EXPECT_EQ(CountEvents(transcript, "nextFrameCallback"), diagnostics ? 1 : 0) << *text;
  EXPECT_EQ(CountEvents(transcript, "engine"), 1) << *text;
}

int g_setTimerCalls = 0;
UINT_PTR WINAPI RefuseTimer(HWND, UINT_PTR, UINT, TIMERPROC) {
  ++g_setTimerCalls;
  ::SetLastError(ERROR_NOT_ENOUGH_QUOTA);
  return 0;
}

long CountInLog(const std::string& fragment) {
  const wchar_t* folder = _wgetenv(L"ORV_DIAGNOSTICS_DIR");
  if (folder == nullptr) return 0;
  const auto text = ReadWholeFile(std::wstring(folder) + L"\\windows-renderer.log");
  if (!text) return 0;
  long count = 0;
  for (size_t at = text->find(fragment); at != std::string::npos; at = text->find(fragment, at + 1)) ++count;
  return count;
}

TEST(FlutterWindow, AWatchdogTimerThatCannotBeSetIsReportedAndTheWindowStillOpens) {
  const bool diagnostics = DiagnosticsEnabled();
  FlushStartupDiagnostics(5000);
  const long before = CountInLog("stage=main.engine.firstFrame.watchdogUnavailable");
  WatchdogTimerCalls timers;
  timers.setTimer = &RefuseTimer;
  g_setTimerCalls = 0;
  {
    FlutterWindow window(flutter::DartProject(L"data"), timers);
    ASSERT_TRUE(window.Create(L"Kilna", {10, 10}, {720, 512}));
    EXPECT_NE(window.GetHandle(), nullptr);
    window.Destroy();
  }
  EXPECT_EQ(g_setTimerCalls, diagnostics ? 1 : 0);
  FlushStartupDiagnostics(5000);
  EXPECT_EQ(CountInLog("stage=main.engine.firstFrame.watchdogUnavailable"), before + (diagnostics ? 1 : 0));
}

}  // namespace
}  // namespace orv
