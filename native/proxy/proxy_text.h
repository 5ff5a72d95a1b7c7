#pragma once
// Moves option text between the platform's wchar_t strings and the store's
// UTF-16 text, unit for unit.

#include <string>

#include "native/proxy/proxy_values.h"

namespace orv::proxy {

inline ProxyText ToProxyText(const wchar_t* text) {
  ProxyText result;
  if (text != nullptr) {
    for (; *text != L'\0'; ++text) result.push_back(static_cast<char16_t>(*text));
  }
  return result;
}

inline std::wstring ToWide(const ProxyText& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace orv::proxy
