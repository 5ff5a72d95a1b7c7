#pragma once
// A corner platform for tests: records the DWM attribute calls and answers
// with a chosen Windows build (or none), a chosen window DPI (or none) and,
// if asked, no DC. Everything else stays real. Put in place for its lifetime.

#include <windows.h>

#include <optional>
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

  std::vector<DwmCall> calls;
  DWORD versionSizeSeen = 0;

 private:
  static HRESULT WINAPI SetAttribute(HWND window, DWORD attribute, LPCVOID value, DWORD size);
  static RtlGetVersionFn FindVersion() noexcept;
  static LONG WINAPI GetVersion(PRTL_OSVERSIONINFOW info);
  static GetDpiForWindowFn FindDpi() noexcept;
  static GetDpiForWindowFn FindNoDpi() noexcept;
  static UINT WINAPI GetDpi(HWND window);
  static HDC WINAPI NoDc(HWND window);

  std::optional<DWORD> build_ = 7601;
  LONG versionStatus_ = 0;
  UINT dpi_ = 0;
  CornerPlatform table_;
  std::optional<CornerPlatformOverride> override_;
  FakeCornerPlatform* previous_;
};

}  // namespace orv::test
