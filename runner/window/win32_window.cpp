#include "runner/window/win32_window.h"

#include <flutter_windows.h>

#include <utility>

#include "native/common/proc_address.h"
#include "runner/window/window_rules.h"
#include "runner/window_corner/window_corners.h"

namespace orv {
namespace {

int g_activeWindows = 0;

bool& ClassRegistered() {
  static auto* registered = new bool(false);  // kept until exit
  return *registered;
}

void EnableNonClientScaling(HWND window) {
  HMODULE user32 = ::LoadLibraryA("User32.dll");
  if (user32 == nullptr) return;
  using EnableFn = BOOL(WINAPI*)(HWND);
  if (auto enable = ResolveProc<EnableFn>(user32, "EnableNonClientDpiScaling")) enable(window);
  ::FreeLibrary(user32);
}

}  // namespace

Win32Window::Win32Window() { ++g_activeWindows; }

Win32Window::~Win32Window() {
  --g_activeWindows;
  Destroy();
}

bool Win32Window::Create(const std::wstring& title, const Point& origin, const Size& size) {
  Destroy();
  if (!ClassRegistered()) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kApplicationIconId));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kRunnerWindowClass;
    ::RegisterClassW(&windowClass);
    ClassRegistered() = true;
  }
  const POINT at{origin.x, origin.y};
  const UINT dpi = FlutterDesktopGetDpiForMonitor(::MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST));
  HWND window = ::CreateWindowExW(0, kRunnerWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, origin.x, origin.y,
                                  ScaleToDpi(size.width, dpi), ScaleToDpi(size.height, dpi), nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), this);
  if (window == nullptr) return false;
  return OnCreated();
}

void Win32Window::Destroy() {
  OnDestroying();
  if (window_ != nullptr) {
    HWND window = window_;
    window_ = nullptr;
    ::DestroyWindow(window);
  }
  bigIcon_.reset();
  smallIcon_.reset();
  // Inside WM_DESTROY the window still exists and the class cannot go yet;
  // the flag stays set so the outer Destroy unregisters it once it is gone.
  if (g_activeWindows == 0 && ClassRegistered() &&
      ::UnregisterClassW(kRunnerWindowClass, ::GetModuleHandleW(nullptr))) {
    ClassRegistered() = false;
  }
}

LRESULT CALLBACK Win32Window::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Win32Window*>(create->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    EnableNonClientScaling(window);
    self->window_ = window;
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  auto* self = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) return self->HandleMessage(window, message, wparam, lparam);
  return ::DefWindowProcW(window, message, wparam, lparam);
}

LRESULT Win32Window::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  switch (message) {
    case WM_DESTROY:
      window_ = nullptr;
      Destroy();
      if (quitOnClose_) ::PostQuitMessage(0);
      return 0;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      ApplyWindowCorners(window, true);
      // Without icons of the new size the window keeps its old ones.
      (void)UpdateWindowIcons();
      return 0;
    }
    case WM_SIZE:
      if (content_ != nullptr) {
        const RECT area = GetClientArea();
        ::MoveWindow(content_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
      }
      return 0;
    case WM_ACTIVATE:
      if (content_ != nullptr) ::SetFocus(content_);
      return 0;
    default:
      return ::DefWindowProcW(window_, message, wparam, lparam);
  }
}

RECT Win32Window::GetClientArea() const {
  RECT area{};
  ::GetClientRect(window_, &area);
  return area;
}

void Win32Window::AttachContent(HWND content) {
  content_ = content;
  ::SetParent(content, window_);
  const RECT area = GetClientArea();
  ::MoveWindow(content, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  ::SetFocus(content);
}

bool Win32Window::UpdateWindowIcons() {
  if (window_ == nullptr) return false;
  const UINT dpi = FlutterDesktopGetDpiForMonitor(::MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST));
  const int bigSize = ::MulDiv(32, static_cast<int>(dpi), 96);
  const int smallSize = ::MulDiv(16, static_cast<int>(dpi), 96);
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  auto load = [instance](int size) {
    return static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(kApplicationIconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  };
  UniqueIcon bigIcon(load(bigSize));
  UniqueIcon smallIcon(load(smallSize));
  if (!bigIcon || !smallIcon) return false;
  ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.get()));
  ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
  bigIcon_ = std::move(bigIcon);
  smallIcon_ = std::move(smallIcon);
  return true;
}

}  // namespace orv
