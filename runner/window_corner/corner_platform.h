#pragma once
// The platform calls of the window-corner code that a test machine cannot
// show or produce (the DWM's corner attributes, a Windows 11 build number, a
// per-window DPI, a missing screen DC, a failing layered-window update, the
// debugger output, and the window subclassing the smooth edge relies on), as
// one table. Production code uses RealCornerPlatform(); tests put a table of
// their own in place for a while.

#include <windows.h>

#include <commctrl.h>
#include <dwmapi.h>

namespace orv {

using RtlGetVersionFn = LONG(WINAPI*)(PRTL_OSVERSIONINFOW);
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

// Run-time lookups: null when the system lacks the function.
RtlGetVersionFn FindRtlGetVersion() noexcept;
GetDpiForWindowFn FindGetDpiForWindow() noexcept;

struct CornerPlatform {
  decltype(&::DwmSetWindowAttribute) DwmSetWindowAttribute = nullptr;
  decltype(&::orv::FindRtlGetVersion) FindRtlGetVersion = ::orv::FindRtlGetVersion;
  decltype(&::orv::FindGetDpiForWindow) FindGetDpiForWindow = ::orv::FindGetDpiForWindow;
  decltype(&::GetDC) GetDC = ::GetDC;
  decltype(&::UpdateLayeredWindow) UpdateLayeredWindow = ::UpdateLayeredWindow;
  decltype(&::OutputDebugStringW) OutputDebugStringW = ::OutputDebugStringW;
  decltype(&::SetWindowSubclass) SetWindowSubclass = nullptr;
  decltype(&::DefSubclassProc) DefSubclassProc = nullptr;
  decltype(&::RemoveWindowSubclass) RemoveWindowSubclass = nullptr;
};

// The real functions: dwmapi.dll and comctl32.dll loaded from the system
// folder, looked up once. Without them the DWM calls fail (their answers are
// ignored anyway) and subclassing fails, so the smooth edge gives way to the
// legacy region.
const CornerPlatform& RealCornerPlatform() noexcept;

// The table in use: the real one unless a test has put another in place.
const CornerPlatform& ActiveCornerPlatform() noexcept;

// Puts `platform` in place for as long as this object lives (platform thread only).
class CornerPlatformOverride {
 public:
  explicit CornerPlatformOverride(const CornerPlatform& platform) noexcept;
  ~CornerPlatformOverride();
  CornerPlatformOverride(const CornerPlatformOverride&) = delete;
  CornerPlatformOverride& operator=(const CornerPlatformOverride&) = delete;

 private:
  const CornerPlatform* previous_;
};

// Sets a 32-bit DWM window attribute through the active table; the DWM's
// answer does not matter to any caller (systems without the attribute refuse it).
void SetWindowDwmAttribute(HWND window, DWORD attribute, DWORD value) noexcept;

}  // namespace orv
