// Export conventions, JSON text and handle ownership, on the real platform.

#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "native/common/com_ptr.h"
#include "native/common/export_barrier.h"
#include "native/common/json_text.h"
#include "native/common/out_string.h"
#include "native/common/scope_exit.h"
#include "native/common/text_conversion.h"
#include "native/common/unique_resource.h"

namespace orv {
namespace {

std::string Json(std::wstring_view value) {
  std::string json;
  AppendJsonString(json, value);
  return json;
}

TEST(JsonText, ConvertsUtf16ToRawUtf8AndEscapes) {
  EXPECT_EQ(Json(L"C:\\Users\\\u5f20\u4e09"), "\"C:\\\\Users\\\\\xe5\xbc\xa0\xe4\xb8\x89\"");
  EXPECT_EQ(Json(L"a\nb\"c"), "\"a\\u000ab\\\"c\"");
  EXPECT_EQ(Json(L""), "\"\"");
  EXPECT_EQ(Json(L"\U0001F600"), "\"\xf0\x9f\x98\x80\"");
}

TEST(JsonText, UnpairedSurrogatesBecomeTheReplacementCharacter) {
  const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
  EXPECT_EQ(Json(lone), "\"a\xef\xbf\xbd" "b\"");
  const wchar_t trailing[] = {static_cast<wchar_t>(0xDC00), 0};
  EXPECT_EQ(Json(trailing), "\"\xef\xbf\xbd\"");
}

TEST(TextConversion, StrictUtf8RefusesWhatTheLenientConversionRepairs) {
  std::wstring wide;
  EXPECT_TRUE(Utf8ToUtf16Strict("C:\\\xe5\xbc\xa0\xf0\x9f\x98\x80.exe", wide));
  EXPECT_EQ(wide, L"C:\\\u5f20\U0001F600.exe");
  EXPECT_TRUE(Utf8ToUtf16Strict(std::string("a\0b", 3), wide));
  EXPECT_EQ(wide, std::wstring(L"a\0b", 3));
  for (const char* invalid : {"\xff", "a\xc0\xaf", "\xed\xa0\x80", "\xe5\xbc", "\xf8\x88\x80\x80\x80"}) {
    SCOPED_TRACE(invalid);
    wide = L"stale";
    EXPECT_FALSE(Utf8ToUtf16Strict(invalid, wide));
    EXPECT_TRUE(wide.empty());
    EXPECT_TRUE(Utf8ToUtf16(invalid, wide));
    EXPECT_NE(wide.find(L'\xFFFD'), std::wstring::npos);
  }
  EXPECT_TRUE(Utf8ToUtf16Strict("", wide));
  EXPECT_TRUE(wide.empty());
}

TEST(OutString, IsACoTaskMemBlockWithTheTextAndItsTerminator) {
  wchar_t* out = nullptr;
  ASSERT_EQ(StoreOutString(L"proxy", &out), 0u);
  ASSERT_NE(out, nullptr);
  EXPECT_STREQ(out, L"proxy");
  IMalloc* allocator = nullptr;
  ASSERT_EQ(::CoGetMalloc(1, &allocator), S_OK);
  EXPECT_EQ(allocator->DidAlloc(out), 1);
  EXPECT_GE(allocator->GetSize(out), 6 * sizeof(wchar_t));
  allocator->Release();
  ::CoTaskMemFree(out);

  ASSERT_EQ(StoreOutString(L"", &out), 0u);
  EXPECT_STREQ(out, L"");
  ::CoTaskMemFree(out);
}

TEST(OutString, AllocationFailureGives8AndLeavesThePointerAlone) {
  wchar_t* out = nullptr;
  EXPECT_EQ(StoreOutString(L"text", &out, [](SIZE_T) -> void* { return nullptr; }), 8u);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(StoreOutString(L"text", nullptr), 87u);
}

TEST(ExportBarrier, NoExceptionLeavesAnExport) {
  EXPECT_EQ(GuardExport([]() -> DWORD { return 0; }), 0u);
  EXPECT_EQ(GuardExport([]() -> DWORD { return 1237; }), 1237u);
  EXPECT_EQ(GuardExport([]() -> DWORD { throw std::bad_alloc(); }), 8u);
  EXPECT_EQ(GuardExport([]() -> DWORD { throw std::runtime_error("x"); }, 1008), 1008u);
  EXPECT_EQ(GuardExport([]() -> DWORD { throw 42; }), static_cast<DWORD>(ERROR_INTERNAL_ERROR));
  EXPECT_EQ(GuardExportValue<const char*>([]() -> const char* { throw std::bad_alloc(); }, nullptr), nullptr);
}

bool IsOpenHandle(HANDLE h) {
  DWORD flags = 0;
  return ::GetHandleInformation(h, &flags) != FALSE;
}

TEST(UniqueResource, ClosesOnResetAndDestructionAndHandsOverOnMoveAndRelease) {
  HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(raw, nullptr);
  {
    UniqueHandle owner(raw);
    UniqueHandle moved(std::move(owner));
    EXPECT_FALSE(owner.valid());
    EXPECT_EQ(moved.get(), raw);
    EXPECT_TRUE(IsOpenHandle(raw));
  }
  EXPECT_FALSE(IsOpenHandle(raw));

  UniqueHandle kept(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  HANDLE released = kept.release();
  EXPECT_FALSE(kept.valid());
  EXPECT_TRUE(IsOpenHandle(released));
  ::CloseHandle(released);

  UniqueHandle invalid(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(invalid.valid());
}

TEST(UniqueResource, PutReleasesWhatWasHeldBeforeAnOutParameterCall) {
  UniqueRegKey key;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
  HKEY first = key.get();
  HKEY* slot = key.put();
  EXPECT_EQ(*slot, nullptr);
  DWORD subkeys = 0;
  EXPECT_NE(::RegQueryInfoKeyW(first, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
}

// A close that fails writes its own last error, as CloseHandle does on a
// handle that is no longer open.
struct FailingClose {
  using Type = int;
  static inline int closes = 0;
  static Type Invalid() noexcept { return 0; }
  static bool IsValid(Type value) noexcept { return value != 0; }
  static void Close(Type) noexcept {
    ++closes;
    ::SetLastError(ERROR_INVALID_HANDLE);
  }
};

TEST(UniqueResource, EveryCloseKeepsTheLastErrorOfTheCallBeforeIt) {
  using Owner = UniqueResource<FailingClose>;
  FailingClose::closes = 0;

  Owner owner(1);
  ::SetLastError(ERROR_ALREADY_EXISTS);  // what a create just answered
  owner.reset(2);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "reset";

  ::SetLastError(ERROR_FILE_NOT_FOUND);
  *owner.put() = 3;
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "put";

  Owner other(4);
  ::SetLastError(ERROR_ACCESS_DENIED);
  owner = std::move(other);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "move assignment";

  {
    Owner scoped(5);
    ::SetLastError(ERROR_PATH_NOT_FOUND);
  }
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << "destruction";

  ::SetLastError(ERROR_SUCCESS);
  owner.reset();
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "a success stays a success";
  EXPECT_EQ(FailingClose::closes, 5);
}

TEST(UniqueResource, GdiAndLocalAllocations) {
  HRGN region = ::CreateRectRgn(0, 0, 10, 10);
  {
    UniqueRegion owner(region);
    EXPECT_NE(::GetObjectType(region), 0u);
  }
  EXPECT_EQ(::GetObjectType(region), 0u);

  UniqueSecurityDescriptor descriptor;
  ASSERT_NE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:(A;;GA;;;SY)", SDDL_REVISION_1,
                                                                  descriptor.put(), nullptr),
            FALSE);
  EXPECT_TRUE(::IsValidSecurityDescriptor(descriptor.get()));
}

TEST(ScopeExit, RunsOnExceptionsAndNotWhenDismissed) {
  int runs = 0;
  try {
    ScopeExit guard([&] { ++runs; });
    throw std::runtime_error("x");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(runs, 1);
  {
    ScopeExit guard([&] { ++runs; });
    guard.dismiss();
  }
  EXPECT_EQ(runs, 1);
}

TEST(ComInitScope, UninitialisesOnlyWhatItInitialised) {
  {
    ComInitScope outer(COINIT_APARTMENTTHREADED);
    ASSERT_TRUE(outer.succeeded());
    {
      ComInitScope mismatched(COINIT_MULTITHREADED);
      EXPECT_EQ(mismatched.result(), RPC_E_CHANGED_MODE);
    }
    // The failed scope left the outer initialisation in place.
    EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    ::CoUninitialize();
    ComPtr<IMalloc> allocator;
    EXPECT_EQ(::CoGetMalloc(1, allocator.put()), S_OK);
    EXPECT_TRUE(allocator);
  }
}

}  // namespace
}  // namespace orv
