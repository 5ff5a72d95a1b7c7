// The host window on its own, in a test program that carries no icon
// resource (so icon loading fails the way a broken resource would).

#include "runner/window/win32_window.h"

#include <gtest/gtest.h>

#include <memory>

namespace orv {
namespace {

class TestWindow : public Win32Window {
 public:
  int created = 0;
  int destroying = 0;

 protected:
  bool OnCreated() override {
    ++created;
    return true;
  }
  void OnDestroying() override { ++destroying; }
};

bool ClassRegistered() {
  WNDCLASSW info{};
  return ::GetClassInfoW(::GetModuleHandleW(nullptr), kRunnerWindowClass, &info) != FALSE;
}

SIZE WindowSize(HWND window) {
  RECT rect{};
  ::GetWindowRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

TEST(Win32Window, IsCreatedHiddenAtTheLogicalSizeAt96Dpi) {
  TestWindow window;
  ASSERT_TRUE(window.Create(L"Kilna", {10, 20}, {720, 512}));
  EXPECT_EQ(window.created, 1);
  EXPECT_FALSE(::IsWindowVisible(window.GetHandle()));
  const SIZE size = WindowSize(window.GetHandle());
  EXPECT_EQ(size.cx, 720);
  EXPECT_EQ(size.cy, 512);
  EXPECT_EQ(::GetWindowLongW(window.GetHandle(), GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
}

TEST(Win32Window, ASecondCreateDestroysTheFirstWindow) {
  TestWindow window;
  ASSERT_TRUE(window.Create(L"one", {0, 0}, {200, 100}));
  HWND first = window.GetHandle();
  ASSERT_TRUE(window.Create(L"two", {0, 0}, {200, 100}));
  EXPECT_FALSE(::IsWindow(first));
  EXPECT_TRUE(::IsWindow(window.GetHandle()));
}

TEST(Win32Window, TheSuggestedRectangleOfADpiChangeIsApplied) {
  TestWindow window;
  ASSERT_TRUE(window.Create(L"dpi", {0, 0}, {300, 200}));
  RECT suggested{40, 50, 40 + 450, 50 + 300};
  ::SendMessageW(window.GetHandle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  RECT now{};
  ::GetWindowRect(window.GetHandle(), &now);
  EXPECT_EQ(now.left, 40);
  EXPECT_EQ(now.top, 50);
  EXPECT_EQ(now.right - now.left, 450);
  EXPECT_EQ(now.bottom - now.top, 300);
}

TEST(Win32Window, IconsThatCannotBeLoadedLeaveTheWindowAsItWas) {
  TestWindow window;
  EXPECT_FALSE(window.UpdateWindowIcons()) << "no window yet";
  ASSERT_TRUE(window.Create(L"icons", {0, 0}, {200, 100}));
  EXPECT_FALSE(window.UpdateWindowIcons());
  EXPECT_EQ(::SendMessageW(window.GetHandle(), WM_GETICON, ICON_BIG, 0), 0);
}

TEST(Win32Window, ContentFillsTheClientAreaAndFollowsResizes) {
  TestWindow window;
  ASSERT_TRUE(window.Create(L"content", {0, 0}, {400, 300}));
  HWND content = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, window.GetHandle(),
                                   nullptr, nullptr, nullptr);
  ASSERT_NE(content, nullptr);
  window.AttachContent(content);
  ::SetWindowPos(window.GetHandle(), nullptr, 0, 0, 600, 500, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client = window.GetClientArea();
  RECT child{};
  ::GetClientRect(content, &child);
  EXPECT_EQ(child.right, client.right);
  EXPECT_EQ(child.bottom, client.bottom);
  EXPECT_EQ(::GetParent(content), window.GetHandle());
}

TEST(Win32Window, ClosingEndsTheMessageLoopOnlyWhenAsked) {
  auto drainQuit = [] {
    MSG message;
    bool quit = false;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) quit |= message.message == WM_QUIT;
    return quit;
  };
  drainQuit();
  {
    TestWindow window;
    ASSERT_TRUE(window.Create(L"stays", {0, 0}, {200, 100}));
    ::DestroyWindow(window.GetHandle());
    EXPECT_EQ(window.GetHandle(), nullptr);
    EXPECT_GE(window.destroying, 1);
    EXPECT_FALSE(drainQuit());
  }
  TestWindow window;
  ASSERT_TRUE(window.Create(L"quits", {0, 0}, {200, 100}));
  window.SetQuitWhenClosed(true);
  ::DestroyWindow(window.GetHandle());
  EXPECT_TRUE(drainQuit());
}

TEST(Win32Window, TheClassIsUnregisteredWithTheLastWindowObjectAndRegisteredAgainLater) {
  {
    auto first = std::make_unique<TestWindow>();
    auto second = std::make_unique<TestWindow>();
    ASSERT_TRUE(first->Create(L"a", {0, 0}, {100, 100}));
    ASSERT_TRUE(second->Create(L"b", {0, 0}, {100, 100}));
    first.reset();
    EXPECT_TRUE(ClassRegistered()) << "another window object still lives";
  }
  EXPECT_FALSE(ClassRegistered());
  TestWindow again;
  EXPECT_TRUE(again.Create(L"c", {0, 0}, {100, 100}));
  EXPECT_TRUE(ClassRegistered());
}

}  // namespace
}  // namespace orv
