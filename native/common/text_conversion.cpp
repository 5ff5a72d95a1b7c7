#include "native/common/text_conversion.h"

#include <windows.h>

#include <limits>

namespace orv {
namespace {

bool Narrow(std::wstring_view text, DWORD flags, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  if (text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return false;
  const int length = static_cast<int>(text.size());
  const int needed = ::WideCharToMultiByte(CP_UTF8, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return false;
  out.resize(static_cast<size_t>(needed));
  const int written = ::WideCharToMultiByte(CP_UTF8, flags, text.data(), length, out.data(), needed, nullptr, nullptr);
  if (written != needed) {
    out.clear();
    return false;
  }
  return true;
}

bool Widen(std::string_view text, DWORD flags, std::wstring& out) {
  out.clear();
  if (text.empty()) return true;
  if (text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return false;
  const int length = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(CP_UTF8, flags, text.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  out.resize(static_cast<size_t>(needed));
  const int written = ::MultiByteToWideChar(CP_UTF8, flags, text.data(), length, out.data(), needed);
  if (written != needed) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace

bool Utf16ToUtf8(std::wstring_view text, std::string& out) { return Narrow(text, 0, out); }

bool Utf16ToUtf8Strict(std::wstring_view text, std::string& out) {
  return Narrow(text, WC_ERR_INVALID_CHARS, out);
}

bool Utf8ToUtf16(std::string_view text, std::wstring& out) { return Widen(text, 0, out); }

bool Utf8ToUtf16Strict(std::string_view text, std::wstring& out) {
  return Widen(text, MB_ERR_INVALID_CHARS, out);
}

}  // namespace orv
