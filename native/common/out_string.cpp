#include "native/common/out_string.h"

#include <objbase.h>

#include <cstring>
#include <limits>

namespace orv {
namespace {

void* CoTaskAllocate(SIZE_T bytes) { return ::CoTaskMemAlloc(bytes); }

}  // namespace

DWORD StoreOutString(std::wstring_view text, wchar_t** out) noexcept {
  return StoreOutString(text, out, CoTaskAllocate);
}

DWORD StoreOutString(std::wstring_view text, wchar_t** out, OutStringAllocator allocate) noexcept {
  if (out == nullptr) return ERROR_INVALID_PARAMETER;
  if (text.size() >= std::numeric_limits<SIZE_T>::max() / sizeof(wchar_t)) return ERROR_NOT_ENOUGH_MEMORY;
  const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* block = static_cast<wchar_t*>(allocate(bytes));
  if (block == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  if (!text.empty()) std::memcpy(block, text.data(), text.size() * sizeof(wchar_t));
  block[text.size()] = L'\0';
  *out = block;
  return ERROR_SUCCESS;
}

}  // namespace orv
