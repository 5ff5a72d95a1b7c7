#include "runner/ticket_picker/file_description.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <iterator>
#include <vector>

#include "native/common/system_library.h"

namespace orv {
namespace {

constexpr DWORD kMaxVersionBlockBytes = 0x1000000;

// The version-resource calls, from version.dll in the system folder. Without
// them the size reads as 0, so every program is named after its file.
struct VersionCalls {
  decltype(&::GetFileVersionInfoSizeW) GetFileVersionInfoSizeW;
  decltype(&::GetFileVersionInfoW) GetFileVersionInfoW;
  decltype(&::VerQueryValueW) VerQueryValueW;
};

const VersionCalls& Version() {
  static const VersionCalls calls = [] {
    const SystemLibrary& version = KeptSystemLibrary<system_dll::kVersion>();
    return VersionCalls{
        version.FindOr<decltype(&::GetFileVersionInfoSizeW), 0>("GetFileVersionInfoSizeW"),
        version.FindOr<decltype(&::GetFileVersionInfoW), FALSE>("GetFileVersionInfoW"),
        version.FindOr<decltype(&::VerQueryValueW), FALSE>("VerQueryValueW"),
    };
  }();
  return calls;
}

// How many of `bytes` at `p` lie inside the block: a damaged resource must not
// make us read past what the file gave us.
size_t BytesInside(const std::vector<unsigned char>& block, const void* p, size_t bytes) {
  const auto* begin = block.data();
  const auto* end = begin + block.size();
  const auto* at = static_cast<const unsigned char*>(p);
  if (at < begin || at >= end) return 0;
  const size_t available = static_cast<size_t>(end - at);
  return bytes < available ? bytes : available;
}

std::wstring TrimmedDescription(const std::vector<unsigned char>& block, WORD language, WORD codePage) {
  wchar_t key[64];
  std::swprintf(key, std::size(key), L"\\StringFileInfo\\%04x%04x\\FileDescription", static_cast<unsigned>(language),
                static_cast<unsigned>(codePage));
  void* value = nullptr;
  UINT length = 0;  // characters, terminator included
  if (!Version().VerQueryValueW(block.data(), key, &value, &length) || value == nullptr || length <= 1) return {};
  const size_t chars = BytesInside(block, value, size_t{length} * sizeof(wchar_t)) / sizeof(wchar_t);
  std::wstring text(static_cast<const wchar_t*>(value), chars);
  while (!text.empty() && (text.back() == L'\0' || std::iswspace(text.back()))) text.pop_back();
  return text;
}

}  // namespace

std::wstring GetFileDescription(const std::wstring& executablePath) {
  DWORD ignored = 0;
  const DWORD size = Version().GetFileVersionInfoSizeW(executablePath.c_str(), &ignored);
  if (size == 0 || size > kMaxVersionBlockBytes) return {};
  std::vector<unsigned char> block(size);
  if (!Version().GetFileVersionInfoW(executablePath.c_str(), 0, size, block.data())) return {};

  void* table = nullptr;
  UINT tableBytes = 0;
  if (!Version().VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &table, &tableBytes) || table == nullptr) {
    return {};
  }
  // (language, code page) pairs, tried in the order the file lists them.
  const auto* pairs = static_cast<const WORD*>(table);
  const size_t pairCount = BytesInside(block, table, tableBytes) / (2 * sizeof(WORD));
  for (size_t i = 0; i < pairCount; ++i) {
    std::wstring description = TrimmedDescription(block, pairs[2 * i], pairs[2 * i + 1]);
    if (!description.empty()) return description;
  }
  return {};
}

}  // namespace orv
