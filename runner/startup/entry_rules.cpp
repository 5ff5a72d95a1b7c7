#include "runner/startup/entry_rules.h"

namespace orv {
namespace {

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

bool IsSetupFolderPath(std::wstring_view executablePath) {
  std::wstring path(executablePath);
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  const size_t last = path.rfind(L'\\');
  if (last == std::wstring::npos || last == 0) return false;
  const std::wstring_view folder = std::wstring_view(path).substr(0, last);
  const size_t parent = folder.rfind(L'\\');
  const std::wstring_view name = parent == std::wstring_view::npos ? folder : folder.substr(parent + 1);
  constexpr std::wstring_view kSuffix = L"-setup";
  if (name.size() < kSuffix.size()) return false;
  const std::wstring_view tail = name.substr(name.size() - kSuffix.size());
  for (size_t i = 0; i < kSuffix.size(); ++i) {
    if (AsciiLower(tail[i]) != kSuffix[i]) return false;
  }
  return true;
}

bool IsInstallerSwitch(std::wstring_view argument) { return argument == L"--install" || argument == L"--installer"; }

std::string EncodeUtf8Fallback(std::u16string_view units) {
  std::string out;
  out.reserve(units.size() * 3);
  for (size_t i = 0; i < units.size(); ++i) {
    const char32_t unit = units[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      const char32_t code = 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
      ++i;
    } else if (unit < 0x80) {
      out.push_back(static_cast<char>(unit));
    } else if (unit < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (unit >> 6)));
      out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (unit >> 12)));
      out.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
  }
  return out;
}

}  // namespace orv
