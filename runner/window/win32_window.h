#pragma once
// The top-level, per-monitor DPI-aware window that hosts the engine's view.

#include <windows.h>

#include <string>

#include "native/common/unique_resource.h"

namespace orv {

class Win32Window {
 public:
  struct Point {
    int x, y;
  };
  struct Size {
    int width, height;
  };

  Win32Window();
  virtual ~Win32Window();
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Creates the window hidden, at the origin (physical pixels) with the size
  // (logical units) scaled to the DPI of the monitor nearest the origin. The
  // origin is not scaled: a scaled origin pushes a centred window off the
  // screen's right and bottom edges.
  [[nodiscard]] bool Create(const std::wstring& title, const Point& origin, const Size& size);
  void Destroy();

  // Makes `content` the child that fills the client area.
  void AttachContent(HWND content);

  HWND GetHandle() const { return window_; }
  RECT GetClientArea() const;
  void SetQuitWhenClosed(bool quitWhenClosed) { quitOnClose_ = quitWhenClosed; }

  // Loads the application icon at the sizes for the window's current DPI.
  [[nodiscard]] bool UpdateWindowIcons();

 protected:
  virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
  [[nodiscard]] virtual bool OnCreated() { return true; }
  virtual void OnDestroying() {}

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

  bool quitOnClose_ = false;
  HWND window_ = nullptr;
  HWND content_ = nullptr;
  UniqueIcon bigIcon_;
  UniqueIcon smallIcon_;
};

inline constexpr wchar_t kRunnerWindowClass[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
inline constexpr int kApplicationIconId = 101;

}  // namespace orv
