// kilna.exe's corner channel driven by the interface script; the main
// window's region and properties are read from this process.

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/runner/window_corner/corner_checks.h"
#include "tests/runner/window_corner/edge_checks.h"
#include "tests/support/kilna_run.h"
#include "tests/support/shell_standin.h"

namespace orv::test {
namespace {

const char kQuit[] = R"({"op":"quit"})";
const char kShow[] = R"({"op":"call","channel":"window_manager","method":"show","args":null})";
const std::string kEnabled = R"({"enabled":true,"borderRgb":2105376,"fillRgb":15790320,"shadowRgb":0})";

std::string Wait(int ms) { return R"({"op":"wait","ms":)" + std::to_string(ms) + "}"; }

std::string Configure(const std::string& args) {
  return R"({"op":"call","channel":"orv.net/window_corner","method":"configure","args":)" + args + "}";
}

std::string Reply(const KilnaRun& run) {
  const std::string line = FindTranscriptLine(run, {R"("channel":"orv.net/window_corner")"});
  const size_t at = line.find(R"("reply")");
  return at == std::string::npos ? "no reply" : line.substr(at);
}

// Waits until the window carries the property (or the time is up).
bool WaitForProperty(HWND window, const wchar_t* name, DWORD timeoutMs = 5000) {
  const ULONGLONG until = ::GetTickCount64() + timeoutMs;
  while (::GetPropW(window, name) == nullptr) {
    if (::GetTickCount64() >= until) return false;
    ::Sleep(20);
  }
  return true;
}

// Sets the build Wine reports to processes started later; back to 7601 when dropped.
class ReportedBuild {
 public:
  explicit ReportedBuild(const wchar_t* build) { ok_ = Set(build); }
  ~ReportedBuild() { Set(L"7601"); }
  ReportedBuild(const ReportedBuild&) = delete;
  ReportedBuild& operator=(const ReportedBuild&) = delete;
  bool ok() const { return ok_; }

 private:
  static bool Set(const wchar_t* build) {
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    bool ok = true;
    for (const wchar_t* name : {L"CurrentBuildNumber", L"CurrentBuild"}) {
      const ProcessResult result =
          RunProcess(std::wstring(system) + L"\\reg.exe",
                     {L"add", L"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion", L"/v", name, L"/t",
                      L"REG_SZ", L"/d", build, L"/f"});
      ok = ok && result.started && result.exitCode == 0;
    }
    return ok;
  }

  bool ok_ = false;
};

class WindowCorner : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(shell_.ready()) << shell_.problem(); }
  ShellStandIn shell_;
};

// Waits until the main window has a visible smooth-edge companion (or the time is up).
HWND WaitForCompanion(HWND window, DWORD timeoutMs = 5000) {
  const ULONGLONG until = ::GetTickCount64() + timeoutMs;
  for (;;) {
    HWND companion = FindCompanion(window);
    if (companion != nullptr && ::IsWindowVisible(companion)) return companion;
    if (::GetTickCount64() >= until) return nullptr;
    ::Sleep(20);
  }
}

TEST_F(WindowCorner, ConfigureAfterShowGivesTheMainWindowTheSmoothEdge) {
  KilnaSession session({{kShow, Wait(200), Configure(kEnabled), Wait(4000), kQuit}});
  HWND window = WaitForMainWindow(session.processId(), 15000);
  ASSERT_NE(window, nullptr);
  HWND companion = WaitForCompanion(window);
  ASSERT_NE(companion, nullptr);
  const RECT frame = WindowFrame(window);
  const RECT edge = WindowFrame(companion);
  EXPECT_EQ(edge.left, frame.left - 40);
  EXPECT_EQ(edge.top, frame.top - 40);
  EXPECT_EQ(edge.right - edge.left, frame.right - frame.left + 80);
  EXPECT_EQ(edge.bottom - edge.top, frame.bottom - frame.top + 80);
  EXPECT_TRUE(HasEdgeRegion(window, frame.right - frame.left, frame.bottom - frame.top,
                            {10, 6, 4, 3, 2, 2, 1, 1, 1, 1}));
  EXPECT_EQ(Property(window, L"OrvSmoothCorners"), 1);
  EXPECT_EQ(Property(window, L"OrvWindowCornerFallback"), 1);
  EXPECT_EQ(Property(window, L"OrvRgnBusy"), 0);
  const KilnaRun run = session.Finish();
  EXPECT_EQ(run.process.exitCode, 0u);
  EXPECT_EQ(Reply(run), R"("reply":"success","value":true})");
}

TEST_F(WindowCorner, AColourSentAs64BitIntegerIsRefused) {
  const KilnaRun run = RunKilna(
      {{Wait(200), Configure(R"({"enabled":true,"borderRgb":{"$int64":2105376},"fillRgb":0,"shadowRgb":0})"),
        kQuit}});
  EXPECT_EQ(run.process.exitCode, 0u);
  EXPECT_EQ(Reply(run),
            R"("reply":"error","code":"invalid_arguments","message":"Expected enabled and RGB colors.","details":null})");
}

TEST_F(WindowCorner, OnAWindows11BuildNativeRoundingStaysAndNoRegionIsMade) {
  ReportedBuild build(L"22631");
  ASSERT_TRUE(build.ok());
  KilnaSession session({{Wait(200), Configure(kEnabled), Wait(2500), kQuit}});
  HWND window = WaitForMainWindow(session.processId(), 15000);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(WaitForProperty(window, L"OrvWindowCornerFallback", 1200));
  EXPECT_FALSE(HasRegion(window));
  const KilnaRun run = session.Finish();
  EXPECT_EQ(run.process.exitCode, 0u);
  EXPECT_EQ(Reply(run), R"("reply":"success","value":false})");
}

}  // namespace
}  // namespace orv::test
