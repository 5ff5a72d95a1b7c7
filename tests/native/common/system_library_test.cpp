// System DLLs loaded from the system folder alone, and the stand-ins for
// functions a system lacks.

#include "native/common/system_library.h"

#include <windns.h>

#include <gtest/gtest.h>

#include <string>

#include "native/common/system_wall_clock.h"
#include "native/common/wall_clock.h"

namespace orv {
namespace {

TEST(SystemLibrary, ADllBesideTheProgramIsNeverTheOneLoaded) {
  // orv_crypto.dll lies beside the test program and in no system folder.
  wchar_t program[MAX_PATH] = {};
  std::wstring beside(program, ::GetModuleFileNameW(nullptr, program, MAX_PATH));
  beside.resize(beside.find_last_of(L'\\') + 1);
  ASSERT_NE(::GetFileAttributesW((beside + L"orv_crypto.dll").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(LoadSystemLibrary(L"orv_crypto.dll"), nullptr);
  EXPECT_FALSE(SystemLibrary(L"orv_crypto.dll").loaded());
  const SystemLibrary iphlpapi(L"iphlpapi.dll");
  EXPECT_TRUE(iphlpapi.loaded());
}

TEST(SystemLibrary, AMissingFunctionAnswersItsFailureWithProcNotFound) {
  const SystemLibrary dnsapi(L"dnsapi.dll");
  ASSERT_TRUE(dnsapi.loaded());
  using FreeFn = decltype(&::DnsFree);
  EXPECT_EQ(dnsapi.Find<FreeFn>("DnsFree"), (dnsapi.FindOr<FreeFn, 0>("DnsFree"))) << "a present function is the real one";
  EXPECT_EQ(dnsapi.Find<FreeFn>("NoSuchFunction"), nullptr);

  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  const SizeFn size = dnsapi.FindOr<SizeFn, 0>("NoSuchFunction");
  ::SetLastError(0);
  EXPECT_EQ(size(L"x", nullptr), 0u);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

  const SystemLibrary absent(L"no-such-system-library.dll");
  EXPECT_FALSE(absent.loaded());
  using HresultFn = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
  EXPECT_EQ((absent.FindOr<HresultFn, kProcNotFoundHresult>("DwmSetWindowAttribute")(nullptr, 0, nullptr, 0)),
            HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
}

TEST(SystemWallClock, ReadsTheSystemTime) {
  FILETIME before = {};
  ::GetSystemTimeAsFileTime(&before);
  const std::uint64_t beforeUs =
      MicrosecondsSince1970((static_cast<std::uint64_t>(before.dwHighDateTime) << 32) | before.dwLowDateTime);
  const std::uint64_t now = SystemWallClockUs();
  EXPECT_GE(now + 20000, beforeUs);  // the plain clock may lag by its resolution
  EXPECT_LT(now, beforeUs + 60ULL * 1000 * 1000);
}

}  // namespace
}  // namespace orv
