#include "runner/window_corner/edge_companion.h"

// The linker's name for this module's own header; ours to use, not to choose.
extern "C" IMAGE_DOS_HEADER __ImageBase;  // NOLINT(bugprone-reserved-identifier)

namespace orv {
namespace {

LRESULT CALLBACK CompanionProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  switch (message) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_GETOBJECT:
      return 0;  // nothing for accessibility tools to find here
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

bool RegisterCompanionClass() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = &CompanionProc;
  windowClass.hInstance = ThisModule();
  windowClass.lpszClassName = kSmoothEdgeClass;
  return ::RegisterClassW(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

UniqueCompanion CreateEdgeCompanion(HWND owner) noexcept {
  if (!RegisterCompanionClass()) return UniqueCompanion();
  return UniqueCompanion(::CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT,
                                           kSmoothEdgeClass, L"", WS_POPUP, 0, 0, 0, 0, owner, nullptr, ThisModule(),
                                           nullptr));
}

}  // namespace orv
