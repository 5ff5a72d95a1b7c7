// The foreground hand-off of an installed app's launch, with real programs
// under Wine: this process's window in front, the started program showing its
// window without activating it (or no such window), and the bound shortened.

#include <windows.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "native/user/foreground_handoff.h"
#include "kilna/kilna_exports.h"
#include "tests/native/user/launch_support.h"
#include "tests/support/process.h"

namespace orv::test {
namespace {

constexpr wchar_t kTestWindowClass[] = L"KilnaHandOffTestWindow";
constexpr wchar_t kOtherClass[] = L"KilnaLaunchTargetOther";
constexpr UINT kBringToFront = WM_APP + 1;  // wParam: delay in ms, 0 for now
constexpr UINT_PTR kFrontTimer = 1;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kBringToFront:
      if (wparam == 0) {
        ::SetForegroundWindow(window);
      } else {
        ::SetTimer(window, kFrontTimer, static_cast<UINT>(wparam), nullptr);
      }
      return 0;
    case WM_TIMER:
      ::KillTimer(window, kFrontTimer);
      ::SetForegroundWindow(window);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

// A visible window of this process on a thread of its own with its own
// message loop, as the product's window lives on the platform thread while
// the interface calls the exports from another.
class WindowThread {
 public:
  WindowThread() {
    thread_ = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return created_; });
  }
  ~WindowThread() {
    if (window_ != nullptr) ::PostMessageW(window_, WM_CLOSE, 0, 0);
    thread_.join();
  }
  WindowThread(const WindowThread&) = delete;
  WindowThread& operator=(const WindowThread&) = delete;

  HWND window() const { return window_; }

  // Brings the window to the front and waits until it is.
  bool BringToFront() {
    ::SendMessageW(window_, kBringToFront, 0, 0);
    for (int i = 0; i < 100 && ::GetForegroundWindow() != window_; ++i) ::Sleep(20);
    return ::GetForegroundWindow() == window_;
  }
  void BringToFrontAfter(DWORD delayMs) { ::PostMessageW(window_, kBringToFront, delayMs, 0); }

 private:
  void Run() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &TestWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kTestWindowClass;
    ::RegisterClassW(&windowClass);  // a second thread finds it registered
    const HWND window = ::CreateWindowExW(0, kTestWindowClass, L"hand-off test", WS_OVERLAPPEDWINDOW, 300, 300, 200,
                                          120, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (window != nullptr) ::ShowWindow(window, SW_SHOW);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      window_ = window;
      created_ = true;
    }
    ready_.notify_one();
    MSG message;
    while (window != nullptr && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable ready_;
  bool created_ = false;
  HWND window_ = nullptr;
};

DWORD ProcessOf(HWND window) {
  DWORD owner = 0;
  if (window != nullptr) ::GetWindowThreadProcessId(window, &owner);
  return owner;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  if (window != nullptr) ::GetClassNameW(window, name, 256);
  return name;
}

struct Launch {
  DWORD result = 0;
  int processId = 0;
  ULONGLONG elapsedMs = 0;
};

Launch TimedLaunch(decltype(&OrvLaunchInstalledApp) call, const std::wstring& parameters) {
  Launch launch;
  const ULONGLONG start = ::GetTickCount64();
  launch.result = call(LaunchTargetPath().c_str(), parameters.c_str(), nullptr, &launch.processId);
  launch.elapsedMs = ::GetTickCount64() - start;
  return launch;
}

// A new program's first window takes Wine one to four seconds on a busy
// machine, so a bound that must outlast such a window is longer than the one
// second the window-less cases use, yet still well short of the product's.
constexpr DWORD kWindowBoundMs = 6000;
constexpr DWORD kWindowWaitMs = 15000;

class ForegroundHandOff : public testing::Test {
 protected:
  // One window for the whole suite: tearing a window down costs Wine seconds.
  static void SetUpTestSuite() { ours_ = new WindowThread(); }
  static void TearDownTestSuite() {
    delete ours_;
    ours_ = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(ours_->window(), nullptr);
    ASSERT_TRUE(ours_->BringToFront()) << "the test window could not take the foreground";
  }

  // Replaces the product's bound for this test.
  void SetBound(DWORD boundMs) {
    LaunchPlatform platform;
    platform.handOffBoundMs = boundMs;
    bound_.emplace(platform);
  }

  static HWND OurWindow() { return ours_->window(); }

  static WindowThread* ours_;
  std::optional<LaunchPlatformOverride> bound_;
};

WindowThread* ForegroundHandOff::ours_ = nullptr;

TEST_F(ForegroundHandOff, TheInstalledAppsWindowIsBroughtToTheFront) {
  const Launch launch = TimedLaunch(&OrvLaunchInstalledApp, L"--window=runner --delay=200 --stay=30000");
  ASSERT_EQ(launch.result, 0u);
  LaunchedProgram program(launch.processId);
  const HWND front = ::GetForegroundWindow();
  EXPECT_EQ(ProcessOf(front), static_cast<DWORD>(launch.processId));
  EXPECT_EQ(ClassOf(front), kInstalledAppWindowClass);
  // It ended because the focus moved, not at the bound.
  EXPECT_LT(launch.elapsedMs, kForegroundHandOffBoundMs);
}

TEST_F(ForegroundHandOff, ElevatedLaunchesLeaveTheNewWindowBehind) {
  const Launch launch = TimedLaunch(&OrvLaunchElevated, L"--window=runner --delay=100 --stay=30000");
  ASSERT_EQ(launch.result, 0u);
  LaunchedProgram program(launch.processId);
  ASSERT_NE(WaitForWindowOf(static_cast<DWORD>(launch.processId), kInstalledAppWindowClass, kWindowWaitMs), nullptr);
  ::Sleep(300);
  EXPECT_EQ(::GetForegroundWindow(), OurWindow());
}

struct NotTheMainWindow {
  const char* kind;
  const wchar_t* className;  // the class of the window the program shows
};

class WindowsThatAreNotTheAppsMain : public ForegroundHandOff, public testing::WithParamInterface<NotTheMainWindow> {};

TEST_P(WindowsThatAreNotTheAppsMain, StayBehindUntilTheBound) {
  SetBound(kWindowBoundMs);
  const std::wstring parameters = L"--window=" + Widen(GetParam().kind) + L" --stay=30000";
  const Launch launch = TimedLaunch(&OrvLaunchInstalledApp, parameters);
  ASSERT_EQ(launch.result, 0u);
  LaunchedProgram program(launch.processId);
  // The window was there to be found during the wait.
  EXPECT_NE(WaitForWindowOf(static_cast<DWORD>(launch.processId), GetParam().className, 0), nullptr);
  EXPECT_EQ(::GetForegroundWindow(), OurWindow());
  EXPECT_GE(launch.elapsedMs, kWindowBoundMs);
  EXPECT_LT(launch.elapsedMs, kForegroundHandOffBoundMs - 500);
}

INSTANTIATE_TEST_SUITE_P(HandOff, WindowsThatAreNotTheAppsMain,
                         testing::Values(NotTheMainWindow{"other", kOtherClass},
                                         NotTheMainWindow{"owned", kInstalledAppWindowClass},
                                         NotTheMainWindow{"minimised", kInstalledAppWindowClass}),
                         [](const auto& info) { return std::string(info.param.kind); });

TEST_F(ForegroundHandOff, AProgramWithoutAWindowIsLeftRunningAfterTheBound) {
  SetBound(1000);
  const Launch launch = TimedLaunch(&OrvLaunchInstalledApp, L"--stay=30000");
  ASSERT_EQ(launch.result, 0u);
  ASSERT_NE(launch.processId, 0);
  LaunchedProgram program(launch.processId);
  EXPECT_TRUE(SamePath(ImagePathOf(static_cast<DWORD>(launch.processId)), LaunchTargetPath()));
  EXPECT_GE(launch.elapsedMs, 1000u);
  EXPECT_LT(launch.elapsedMs, 5000u);
  EXPECT_TRUE(program.running());
  EXPECT_EQ(::GetForegroundWindow(), OurWindow());
}

TEST_F(ForegroundHandOff, AProgramThatEndsAtOnceEndsTheWait) {
  const Launch launch = TimedLaunch(&OrvLaunchInstalledApp, L"--window=none");
  ASSERT_EQ(launch.result, 0u);
  EXPECT_NE(launch.processId, 0);
  EXPECT_LT(launch.elapsedMs, kForegroundHandOffBoundMs / 2);
}

TEST_F(ForegroundHandOff, FocusMovedElsewhereDuringTheWaitEndsIt) {
  WindowThread elsewhere;  // shown and activated: put ours back in front
  ASSERT_TRUE(ours_->BringToFront());
  // The launching thread is blocked in the export, so another thread moves the focus.
  elsewhere.BringToFrontAfter(500);
  const Launch launch = TimedLaunch(&OrvLaunchInstalledApp, L"--stay=30000");
  ASSERT_EQ(launch.result, 0u);
  LaunchedProgram program(launch.processId);
  EXPECT_EQ(::GetForegroundWindow(), elsewhere.window());
  EXPECT_LT(launch.elapsedMs, kForegroundHandOffBoundMs / 2);
}

TEST_F(ForegroundHandOff, NothingIsHandedOffWhenAnotherProgramIsInFront) {
  StartedProcess front = StartProcess(LaunchTargetPath(), {L"--window=front", L"--stay=60000"});
  ASSERT_TRUE(front.started());
  for (int i = 0; i < 750 && ProcessOf(::GetForegroundWindow()) != front.id(); ++i) ::Sleep(20);
  ASSERT_EQ(ProcessOf(::GetForegroundWindow()), front.id());

  const Launch launch = TimedLaunch(&OrvLaunchInstalledApp, L"--window=runner --stay=30000");
  ASSERT_EQ(launch.result, 0u);
  LaunchedProgram program(launch.processId);
  EXPECT_LT(launch.elapsedMs, kForegroundHandOffBoundMs / 2);
  ASSERT_NE(WaitForWindowOf(static_cast<DWORD>(launch.processId), kInstalledAppWindowClass, kWindowWaitMs), nullptr);
  ::Sleep(300);
  EXPECT_EQ(ProcessOf(::GetForegroundWindow()), front.id());
}

}  // namespace
}  // namespace orv::test
