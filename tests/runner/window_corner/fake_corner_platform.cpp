#include "tests/runner/window_corner/fake_corner_platform.h"

namespace orv::test {
namespace {

FakeCornerPlatform* g_fake = nullptr;

}  // namespace

FakeCornerPlatform::FakeCornerPlatform() : previous_(g_fake) {
  table_ = RealCornerPlatform();
  table_.DwmSetWindowAttribute = &SetAttribute;
  table_.FindRtlGetVersion = &FindVersion;
  table_.UpdateLayeredWindow = &UpdateLayered;
  table_.OutputDebugStringW = &DebugString;
  g_fake = this;
  override_.emplace(table_);
}

FakeCornerPlatform::~FakeCornerPlatform() {
  override_.reset();
  g_fake = previous_;
}

void FakeCornerPlatform::SetWindowDpi(std::optional<UINT> dpi) {
  dpi_ = dpi.value_or(0);
  table_.FindGetDpiForWindow = dpi ? &FindDpi : &FindNoDpi;
}

void FakeCornerPlatform::WithoutDc() { table_.GetDC = &NoDc; }

HRESULT WINAPI FakeCornerPlatform::SetAttribute(HWND window, DWORD attribute, LPCVOID value, DWORD size) {
  if (size != sizeof(DWORD)) return E_INVALIDARG;
  g_fake->calls.push_back({window, attribute, *static_cast<const DWORD*>(value)});
  return S_OK;
}

RtlGetVersionFn FakeCornerPlatform::FindVersion() noexcept { return g_fake->build_ ? &GetVersion : nullptr; }

LONG WINAPI FakeCornerPlatform::GetVersion(PRTL_OSVERSIONINFOW info) {
  g_fake->versionSizeSeen = info->dwOSVersionInfoSize;
  info->dwMajorVersion = 10;
  info->dwBuildNumber = *g_fake->build_;
  return g_fake->versionStatus_;
}

GetDpiForWindowFn FakeCornerPlatform::FindDpi() noexcept { return &GetDpi; }

GetDpiForWindowFn FakeCornerPlatform::FindNoDpi() noexcept { return nullptr; }

UINT WINAPI FakeCornerPlatform::GetDpi(HWND) { return g_fake->dpi_; }

HDC WINAPI FakeCornerPlatform::NoDc(HWND) { return nullptr; }

BOOL WINAPI FakeCornerPlatform::UpdateLayered(HWND window, HDC screen, POINT* position, SIZE* size, HDC source,
                                              POINT* sourcePoint, COLORREF key, BLENDFUNCTION* blend, DWORD flags) {
  ++g_fake->layeredUpdates;
  if (g_fake->failLayered_) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return ::UpdateLayeredWindow(window, screen, position, size, source, sourcePoint, key, blend, flags);
}

void WINAPI FakeCornerPlatform::DebugString(LPCWSTR text) { g_fake->debugLines.emplace_back(text); }

}  // namespace orv::test
