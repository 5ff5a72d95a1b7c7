#include "tests/runner/window_corner/test_windows.h"

#include "native/common/unique_resource.h"

namespace orv::test {

TestWindow::TestWindow(int width, int height, HWND parent)
    : window_(::CreateWindowExW(0, L"STATIC", L"corners", parent != nullptr ? WS_CHILD : WS_POPUP, 20, 20, width,
                                height, parent, nullptr, nullptr, nullptr)) {}

TestWindow::~TestWindow() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

namespace {

LRESULT CALLBACK PaintedProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_ERASEBKGND) return ::DefWindowProcW(window, message, wparam, lparam);
  static const UniqueBrush brush(::CreateSolidBrush(RGB(kPaintedColour >> 16, (kPaintedColour >> 8) & 0xFF,
                                                        kPaintedColour & 0xFF)));
  RECT client{};
  ::GetClientRect(window, &client);
  ::FillRect(reinterpret_cast<HDC>(wparam), &client, brush.get());
  return 1;
}

const wchar_t* PaintedClass() {
  static const wchar_t* name = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &PaintedProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"KilnaPaintedTestWindow";
    ::RegisterClassW(&windowClass);
    return windowClass.lpszClassName;
  }();
  return name;
}

}  // namespace

PaintedWindow::PaintedWindow(int x, int y, int width, int height)
    : window_(::CreateWindowExW(0, PaintedClass(), L"Kilna", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr,
                                nullptr, ::GetModuleHandleW(nullptr), nullptr)) {
  ::UpdateWindow(window_);
}

PaintedWindow::~PaintedWindow() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

}  // namespace orv::test
