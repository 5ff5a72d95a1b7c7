#pragma once
// Plain top-level windows for the corner tests, destroyed with their owner.

#include <windows.h>

namespace orv::test {

class TestWindow {
 public:
  // A hidden popup of exactly width x height pixels; a child of `parent` if given.
  TestWindow(int width, int height, HWND parent = nullptr);
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_;
};

// A shown popup at (x, y) of exactly width x height pixels, painted all in
// kPaintedColour (0xRRGGBB).
inline constexpr unsigned kPaintedColour = 0x3060C0;

class PaintedWindow {
 public:
  PaintedWindow(int x, int y, int width, int height);
  ~PaintedWindow();
  PaintedWindow(const PaintedWindow&) = delete;
  PaintedWindow& operator=(const PaintedWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_;
};

}  // namespace orv::test
