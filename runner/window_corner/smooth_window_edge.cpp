#include "runner/window_corner/smooth_window_edge.h"

#include <commctrl.h>
#include <dwmapi.h>

#include <new>
#include <utility>

#include "native/common/scope_exit.h"
#include "runner/window_corner/corner_platform.h"
#include "runner/window_corner/region_corners.h"
#include "runner/window_corner/window_corners.h"

namespace orv {
namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr std::uint32_t kRgbMask = 0xFFFFFF;
constexpr wchar_t kUnavailableNotice[] = L"[Orv] Smooth window edge unavailable; using legacy region.\n";

HANDLE PropertySet() { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1)); }

double Scale(UINT dpi) { return dpi / 96.0; }

// What moves, resizes, activates or repaints the window under the edge.
bool FollowsWindowState(UINT message) {
  switch (message) {
    case WM_WINDOWPOSCHANGED:
    case WM_ACTIVATE:
    case WM_SHOWWINDOW:
    case WM_ACTIVATEAPP:
    case WM_DPICHANGED:
    case WM_DWMCOMPOSITIONCHANGED:
    case WM_DISPLAYCHANGE:
      return true;
    default:
      return false;
  }
}

}  // namespace

SmoothWindowEdge::~SmoothWindowEdge() {
  const bool windowAlive = ::IsWindow(window_) != FALSE;
  if (windowAlive) {
    ::RemovePropW(window_, kSmoothCornersProperty);
    if (subclassed_) ActiveCornerPlatform().RemoveWindowSubclass(window_, &SubclassProc, kSubclassId);
  }
  subclassed_ = false;
  companion_.reset();
  ReleaseSurface();
  if (windowAlive) ApplyWindowCorners(window_, true);
}

bool SmoothWindowEdge::Configure(std::uint32_t border, std::uint32_t fill, std::uint32_t shadow) noexcept {
  requested_ = {border & kRgbMask, fill & kRgbMask, shadow & kRgbMask};
  if (!subclassed_) {
    UniqueCompanion companion = CreateEdgeCompanion(window_);
    if (!companion) return false;
    if (!ActiveCornerPlatform().SetWindowSubclass(window_, &SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) return false;
    companion_ = std::move(companion);
    subclassed_ = true;
  }
  if (!::SetPropW(window_, kSmoothCornersProperty, PropertySet())) return false;
  if (!Update(false)) {
    Disable();
    return false;
  }
  return true;
}

bool SmoothWindowEdge::Update(bool force) noexcept {
  if (busy_) return shown_;
  busy_ = true;
  const ScopeExit idle([this] { busy_ = false; });

  const bool maximised = ::IsZoomed(window_) != FALSE;
  if (maximised || ::IsIconic(window_)) {
    HideCompanion();
    shown_ = false;
    if (maximised) ClearLegacyRegion(window_);  // square corners
    return true;
  }
  RECT frame{};
  if (!::GetWindowRect(window_, &frame)) return false;
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const UINT dpi = GetWindowDpi(window_);
  const bool active = ::GetForegroundWindow() == window_;
  if (width < 1 || height <= 0) return false;

  const bool sameBitmap = shown_ && width == width_ && height == height_ && dpi == dpi_ &&
                          active == appliedActive_ && applied_.shadow == requested_.shadow;
  if (force || !sameBitmap) return Build(frame, dpi, active);
  if (applied_.border != requested_.border || applied_.fill != requested_.fill) {
    if (!Recolor(frame)) return false;
  }
  Reposition();
  return true;
}

bool SmoothWindowEdge::Build(const RECT& frame, UINT dpi, bool active) noexcept {
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  EdgeGeometry g;
  if (!MakeEdgeGeometry(width, height, Scale(dpi), &g) || g.pixelCount > kMaxEdgePixels) return false;
  CornerTable table;
  if (!BuildCornerTable(g.radius, g.border, requested_.border, requested_.fill, &table) || table.n != g.cornerSize) {
    return false;
  }
  std::vector<std::uint32_t> snapshots;
  try {
    snapshots.resize(SnapshotCount(table.n));
  } catch (const std::bad_alloc&) {
    return false;
  }

  ReleaseSurface();
  if (!surface_.Create(g.bitmapWidth, g.bitmapHeight)) return false;
  // The edge is composed straight into the bitmap the companion shows.
  if (!BuildEdge(g, table, active, requested_.shadow, surface_.pixels(), snapshots.data())) return false;
  snapshots_ = std::move(snapshots);
  n_ = table.n;

  UniqueRegion region = BuildEdgeRegion(width, height, table.solidFrom);
  if (!region) return false;
  if (!ShowBitmap(frame.left - g.margin, frame.top - g.margin, g.bitmapWidth, g.bitmapHeight)) return false;
  // The system frame and its shadow would otherwise show around the region.
  SetWindowDwmAttribute(window_, DWMWA_NCRENDERING_POLICY, DWMNCRP_DISABLED);
  if (!::SetWindowRgn(window_, region.get(), TRUE)) return false;
  region.release();  // the window owns it now

  width_ = width;
  height_ = height;
  margin_ = g.margin;
  dpi_ = dpi;
  appliedActive_ = active;
  applied_ = requested_;
  shown_ = true;
  Reposition();
  return true;
}

bool SmoothWindowEdge::Recolor(const RECT& frame) noexcept {
  if (surface_.pixels() == nullptr || n_ <= 0 || snapshots_.size() != SnapshotCount(n_)) return false;
  EdgeGeometry g;
  if (!MakeEdgeGeometry(width_, height_, Scale(dpi_), &g)) return false;
  CornerTable table;
  if (!BuildCornerTable(g.radius, g.border, requested_.border, requested_.fill, &table) || table.n != n_) {
    return false;
  }
  if (!RecolorEdge(g, table, n_, snapshots_.data(), snapshots_.size(), surface_.pixels())) return false;
  if (!ShowBitmap(frame.left - margin_, frame.top - margin_, g.bitmapWidth, g.bitmapHeight)) return false;
  applied_.border = requested_.border;
  applied_.fill = requested_.fill;
  return true;
}

bool SmoothWindowEdge::ShowBitmap(int left, int top, int width, int height) noexcept {
  POINT position{left, top};
  SIZE size{width, height};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  return ActiveCornerPlatform().UpdateLayeredWindow(companion_.get(), nullptr, &position, &size, surface_.dc(),
                                                    &source, 0, &blend, ULW_ALPHA) != FALSE;
}

void SmoothWindowEdge::Reposition() noexcept {
  HWND companion = companion_.get();
  if (!::IsWindow(companion)) return;
  if (shown_ && ::IsWindowVisible(window_) && !::IsIconic(window_) && !::IsZoomed(window_)) {
    RECT frame{};
    if (!::GetWindowRect(window_, &frame)) return;
    if (frame.right - frame.left == width_ && frame.bottom - frame.top == height_ &&
        GetWindowDpi(window_) == dpi_) {
      ::SetWindowPos(companion, nullptr, frame.left - margin_, frame.top - margin_, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER);
      return;
    }
  }
  ::ShowWindow(companion, SW_HIDE);
}

void SmoothWindowEdge::HideCompanion() noexcept {
  if (::IsWindow(companion_.get())) ::ShowWindow(companion_.get(), SW_HIDE);
}

void SmoothWindowEdge::Disable() noexcept {
  shown_ = false;
  HideCompanion();
  if (window_ != nullptr) ::RemovePropW(window_, kSmoothCornersProperty);
  ApplyWindowCorners(window_, true);
  ActiveCornerPlatform().OutputDebugStringW(kUnavailableNotice);
}

void SmoothWindowEdge::ReleaseSurface() noexcept {
  surface_.Release();
  std::vector<std::uint32_t>().swap(snapshots_);
  n_ = 0;
}

LRESULT CALLBACK SmoothWindowEdge::SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                                DWORD_PTR data) noexcept {
  return reinterpret_cast<SmoothWindowEdge*>(data)->HandleWindowMessage(window, message, wparam, lparam);
}

LRESULT SmoothWindowEdge::HandleWindowMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  if (message == WM_NCDESTROY) {
    Detach(window);
    return ActiveCornerPlatform().DefSubclassProc(window, message, wparam, lparam);
  }
  if (message == SmoothCornersRefreshMessage()) return OnRefresh(wparam);

  const LRESULT result = ActiveCornerPlatform().DefSubclassProc(window, message, wparam, lparam);
  if (FollowsWindowState(message) && !busy_ && ::IsWindow(window) &&
      ::GetPropW(window, kSmoothCornersProperty) != nullptr) {
    // A new display or compositor invalidates the bitmap whatever its size.
    if (message == WM_DWMCOMPOSITIONCHANGED || message == WM_DISPLAYCHANGE) shown_ = false;
    Reposition();
    if (!refreshPosted_) refreshPosted_ = ::PostMessageW(window, SmoothCornersRefreshMessage(), 0, 0) != FALSE;
  }
  return result;
}

LRESULT SmoothWindowEdge::OnRefresh(WPARAM force) noexcept {
  refreshPosted_ = false;
  if (::GetPropW(window_, kSmoothCornersProperty) == nullptr) return 0;
  const bool inPlace = Update(force != 0);
  if (!inPlace) Disable();
  return inPlace ? 1 : 0;
}

void SmoothWindowEdge::Detach(HWND window) noexcept {
  ::RemovePropW(window, kSmoothCornersProperty);
  ActiveCornerPlatform().RemoveWindowSubclass(window, &SubclassProc, kSubclassId);
  subclassed_ = false;
  window_ = nullptr;
  companion_.reset();
}

}  // namespace orv
