#include "tests/native/proxy/option_list.h"

#include <cstring>

#include "native/proxy/proxy_text.h"

namespace orv::proxy::test {
namespace {

// WinINet hands out GlobalAlloc'd copies, and null for an empty string.
LPWSTR GlobalCopy(const ProxyText& text) {
  if (text.empty()) return nullptr;
  const std::wstring wide = ToWide(text);
  auto* copy = static_cast<LPWSTR>(::GlobalAlloc(GMEM_FIXED, (wide.size() + 1) * sizeof(wchar_t)));
  if (copy != nullptr) std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  return copy;
}

// The string option an entry names, or null for the flags and unknown options.
ProxyText* TextOption(ProxyOptions& options, DWORD option) {
  switch (option) {
    case INTERNET_PER_CONN_PROXY_SERVER:
      return &options.proxyServer;
    case INTERNET_PER_CONN_PROXY_BYPASS:
      return &options.proxyBypass;
    case INTERNET_PER_CONN_AUTOCONFIG_URL:
      return &options.autoConfigUrl;
    default:
      return nullptr;
  }
}

}  // namespace

bool IsDefaultConnectionList(const INTERNET_PER_CONN_OPTION_LISTW* list, DWORD length) {
  return list != nullptr && length >= sizeof(*list) && list->dwSize == sizeof(*list) &&
         list->pszConnection == nullptr;
}

DWORD AnswerOptionQuery(const ProxyOptions& options, DWORD flagsInEffect, INTERNET_PER_CONN_OPTION_LISTW& list) {
  ProxyOptions source = options;
  for (DWORD i = 0; i < list.dwOptionCount; ++i) {
    INTERNET_PER_CONN_OPTIONW& entry = list.pOptions[i];
    if (entry.dwOption == INTERNET_PER_CONN_FLAGS_UI) {
      entry.Value.dwValue = source.flags;
    } else if (entry.dwOption == INTERNET_PER_CONN_FLAGS) {
      entry.Value.dwValue = flagsInEffect;
    } else if (const ProxyText* text = TextOption(source, entry.dwOption)) {
      entry.Value.pszValue = GlobalCopy(*text);
    } else {
      list.dwOptionError = i;
      return ERROR_INVALID_PARAMETER;
    }
  }
  return ERROR_SUCCESS;
}

bool AsksForUserFlags(const INTERNET_PER_CONN_OPTION_LISTW& list) {
  for (DWORD i = 0; i < list.dwOptionCount; ++i) {
    if (list.pOptions[i].dwOption == INTERNET_PER_CONN_FLAGS_UI) return true;
  }
  return false;
}

DWORD ApplyOptionSet(const INTERNET_PER_CONN_OPTION_LISTW& list, ProxyOptions& options) {
  ProxyOptions next = options;
  for (DWORD i = 0; i < list.dwOptionCount; ++i) {
    const INTERNET_PER_CONN_OPTIONW& entry = list.pOptions[i];
    if (entry.dwOption == INTERNET_PER_CONN_FLAGS) {
      next.flags = entry.Value.dwValue;
    } else if (ProxyText* text = TextOption(next, entry.dwOption)) {
      *text = ToProxyText(entry.Value.pszValue);
    } else {
      return ERROR_INVALID_PARAMETER;
    }
  }
  options = std::move(next);
  return ERROR_SUCCESS;
}

}  // namespace orv::proxy::test
