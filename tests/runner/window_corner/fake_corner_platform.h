#pragma once
// A corner platform for tests: records the DWM attribute calls and the
// debugger output, and answers with a chosen Windows build (or none), a
// chosen window DPI (or none), if asked no DC, and if asked a failing
// layered-window update. Everything else stays real. Put in place for its
// lifetime.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "runner/window_corner/corner_platform.h"

namespace orv::test {

struct DwmCall {
  HWND window;
  DWORD attribute;
  DWORD value;
  bool operator==(const DwmCall&) const = default;
};

class FakeCornerPlatform {
 public:
  FakeCornerPlatform();  // build 7601, as Wine reports by default
  ~FakeCornerPlatform();
  FakeCornerPlatform(const FakeCornerPlatform&) = delete;
  FakeCornerPlatform& operator=(const FakeCornerPlatform&) = delete;

  // nullopt: RtlGetVersion is missing.
  void SetBuild(std::optional<DWORD> build) { build_ = build; }
  void SetVersionStatus(LONG status) { versionStatus_ = status; }
  // nullopt: GetDpiForWindow is missing. Unset: the real one.
  void SetWindowDpi(std::optional<UINT> dpi);
  void WithoutDc();
  // Layered-window updates fail (as a system without a compositor's memory would) while set.
  void FailLayeredUpdates(bool fail) { failLayered_ = fail; }

  std::vector<DwmCall> calls;
  DWORD versionSizeSeen = 0;
  std::vector<std::wstring> debugLines;
  int layeredUpdates = 0;  // calls, failed or not

 private:
  static HRESULT WINAPI SetAttribute(HWND window, DWORD attribute, LPCVOID value, DWORD size);
  static RtlGetVersionFn FindVersion() noexcept;
  static LONG WINAPI GetVersion(PRTL_OSVERSIONINFOW info);
  static GetDpiForWindowFn FindDpi() noexcept;
  static GetDpiForWindowFn FindNoDpi() noexcept;
  static UINT WINAPI GetDpi(HWND window);
  static HDC WINAPI NoDc(HWND window);
  static BOOL WINAPI UpdateLayered(HWND window, HDC screen, POINT* position, SIZE* size, HDC source,
                                   POINT* sourcePoint, COLORREF key, BLENDFUNCTION* blend, DWORD flags);
  static void WINAPI DebugString(LPCWSTR text);

  std::optional<DWORD> build_ = 7601;
  LONG versionStatus_ = 0;
  UINT dpi_ = 0;
  bool failLayered_ = false;
  CornerPlatform table_;
  std::optional<CornerPlatformOverride> override_;
  FakeCornerPlatform* previous_;
};

}  // namespace orv::test
