#include "tests/runner/window_corner/test_windows.h"

namespace orv::test {

TestWindow::TestWindow(int width, int height, HWND parent)
    : window_(::CreateWindowExW(0, L"STATIC", L"corners", parent != nullptr ? WS_CHILD : WS_POPUP, 20, 20, width,
                                height, parent, nullptr, nullptr, nullptr)) {}

TestWindow::~TestWindow() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

}  // namespace orv::test
