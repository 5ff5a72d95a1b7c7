#pragma once
// Text that ends where readable memory ends: the page after it cannot be
// read, so code that reads past the bound it should keep faults at once
// instead of reading on quietly.

#include <windows.h>

#include <cstring>
#include <string_view>

namespace orv::test {

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
    text_ = reinterpret_cast<wchar_t*>(base_ + readable - bytes);
    std::memcpy(text_, text.data(), bytes);
  }
  ~GuardedText() {
    if (base_ != nullptr) ::VirtualFree(base_, 0, MEM_RELEASE);
  }
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;

  const wchar_t* get() const { return text_; }

 private:
  BYTE* base_ = nullptr;
  wchar_t* text_ = nullptr;
};

}  // namespace orv::test
