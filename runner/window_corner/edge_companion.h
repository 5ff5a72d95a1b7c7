#pragma once
// The companion window of the smooth edge: layered, click-through, never
// activated, owned by the top-level window so it always stays just above it.

#include <windows.h>

#include "native/common/unique_resource.h"

namespace orv {

inline constexpr wchar_t kSmoothEdgeClass[] = L"OrvSmoothWindowEdge";

namespace handle_traits {
// The owner's destruction takes its owned windows with it, so the handle may
// be gone already.
struct CompanionWindow {
  using Type = HWND;
  static Type Invalid() noexcept { return nullptr; }
  static bool IsValid(Type h) noexcept { return h != nullptr; }
  static void Close(Type h) noexcept {
    if (::IsWindow(h)) ::DestroyWindow(h);
  }
};
}  // namespace handle_traits

using UniqueCompanion = UniqueResource<handle_traits::CompanionWindow>;

// A hidden, empty companion for `owner`; null when the class cannot be
// registered or the window cannot be made.
UniqueCompanion CreateEdgeCompanion(HWND owner) noexcept;

}  // namespace orv
