#pragma once
// The smooth window edge: anti-aliased rounded corners, a border along the
// corner arcs and a soft drop shadow, shown by a companion window around the
// top-level window, whose own region keeps only the pixels wholly inside its
// rounded shape. A subclass of the top-level window keeps the companion
// with the window through moves, resizes, activation and display changes.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "runner/window_corner/edge_companion.h"
#include "runner/window_corner/edge_compose.h"
#include "runner/window_corner/edge_surface.h"

namespace orv {

class SmoothWindowEdge {
 public:
  explicit SmoothWindowEdge(HWND window) noexcept : window_(window) {}
  // Detaches from the window if it still exists and hands it back to the
  // corner policy, which then gives it the legacy region.
  ~SmoothWindowEdge();
  SmoothWindowEdge(const SmoothWindowEdge&) = delete;
  SmoothWindowEdge& operator=(const SmoothWindowEdge&) = delete;

  // Colours as 0xRRGGBB; higher bits are ignored. Attaches on first use. A
  // new border or fill only redraws the corners; a new shadow rebuilds.
  // False when the edge cannot be shown; past attaching, the window is then
  // back on the legacy region.
  [[nodiscard]] bool Configure(std::uint32_t border, std::uint32_t fill, std::uint32_t shadow) noexcept;

  // Rebuilds what changed (everything when forced). True when the edge is in
  // place, or hidden as it should be for a minimised or maximised window.
  [[nodiscard]] bool Update(bool force) noexcept;
  // Redraws the corners in the requested border and fill over the stored
  // shadow and shows them with the companion at `frame`.
  [[nodiscard]] bool Recolor(const RECT& frame) noexcept;
  // Moves the companion with the window while the bitmap fits it; hides it otherwise.
  void Reposition() noexcept;
  // Gives up: hides the companion and puts the legacy region in place.
  void Disable() noexcept;
  void ReleaseSurface() noexcept;

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                       DWORD_PTR data) noexcept;
  LRESULT HandleWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;
  LRESULT OnRefresh(WPARAM force) noexcept;
  void Detach(HWND window) noexcept;
  [[nodiscard]] bool Build(const RECT& frame, UINT dpi, bool active) noexcept;
  [[nodiscard]] bool ShowBitmap(int left, int top, int width, int height) noexcept;
  void HideCompanion() noexcept;

  HWND window_;
  UniqueCompanion companion_;
  EdgeSurface surface_;
  std::vector<std::uint32_t> snapshots_;  // the shadow under the four corner squares
  int n_ = 0;
  int width_ = 0;
  int height_ = 0;
  int margin_ = 0;
  UINT dpi_ = 0;
  EdgeColors requested_;
  EdgeColors applied_;
  bool appliedActive_ = false;
  bool subclassed_ = false;
  bool busy_ = false;
  bool refreshPosted_ = false;
  bool shown_ = false;
};

}  // namespace orv
