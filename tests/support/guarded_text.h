#pragma once
// Text that ends where readable memory ends: the page after it cannot be
// read, so code that reads past the bound it should keep is caught at once
// instead of reading on quietly. The fault ends the test program with a
// message and exit code 3 whatever the emulator's crash handling (Wine, with
// its crash dialog off, ends a crashed program with code 0).

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace orv::test {

namespace guarded_text_detail {

inline std::atomic<ULONG_PTR> guardStart{0};
inline std::atomic<ULONG_PTR> guardEnd{0};

inline LONG CALLBACK OnFault(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const ULONG_PTR address = record->ExceptionInformation[1];
  if (address < guardStart.load() || address >= guardEnd.load()) return EXCEPTION_CONTINUE_SEARCH;
  std::fprintf(stderr, "read past the end of a guarded text (the bound it should keep)\n");
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), 3);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace guarded_text_detail

class GuardedText {
 public:
  // The units of `text`, without a terminator, right before a page that cannot be read.
  explicit GuardedText(std::wstring_view text) {
    SYSTEM_INFO info = {};
    ::GetSystemInfo(&info);
    const SIZE_T page = info.dwPageSize;
    const SIZE_T bytes = text.size() * sizeof(wchar_t);
    const SIZE_T readable = (bytes + page - 1) / page * page;
    base_ = static_cast<BYTE*>(::VirtualAlloc(nullptr, readable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (base_ == nullptr) return;
    DWORD previous = 0;
    ::VirtualProtect(base_ + readable, page, PAGE_NOACCESS, &previous);
    guarded_text_detail::guardStart = reinterpret_cast<ULONG_PTR>(base_ + readable);
    guarded_text_detail::guardEnd = reinterpret_cast<ULONG_PTR>(base_ + readable + page);
    handler_ = ::AddVectoredExceptionHandler(1, &guarded_text_detail::OnFault);
    text_ = reinterpret_cast<wchar_t*>(base_ + readable - bytes);
    std::memcpy(text_, text.data(), bytes);
  }
  ~GuardedText() {
    if (handler_ != nullptr) ::RemoveVectoredExceptionHandler(handler_);
    if (base_ != nullptr) ::VirtualFree(base_, 0, MEM_RELEASE);
  }
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;

  const wchar_t* get() const { return text_; }

 private:
  BYTE* base_ = nullptr;
  wchar_t* text_ = nullptr;
  void* handler_ = nullptr;
};

}  // namespace orv::test
