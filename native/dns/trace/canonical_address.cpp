#include "native/dns/trace/canonical_address.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace orv::dns {

namespace {

constexpr std::size_t kMaxAddressText = 64;
constexpr std::wstring_view kSeparators = L" \t\r\n;,";

// Formatted through the platform, or empty when the text does not parse.
std::wstring Reformat(int family, const std::wstring& address) {
  IN6_ADDR binary = {};  // large enough for either family
  if (::InetPtonW(family, address.c_str(), &binary) != 1) return {};
  wchar_t formatted[65] = {};
  if (::InetNtopW(family, &binary, formatted, 65) == nullptr) return {};
  return formatted;
}

bool IsZone(std::wstring_view zone) {
  if (zone.empty() || zone.size() > kMaxZoneDigits) return false;
  for (const wchar_t c : zone) {
    if (c < L'0' || c > L'9') return false;
  }
  return true;
}

}  // namespace

std::wstring CanonicalAddress(std::wstring_view text) {
  const std::size_t first = text.find_first_not_of(kSeparators);
  if (first == std::wstring_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kSeparators);
  text = text.substr(first, last - first + 1);
  if (text.size() > kMaxAddressText) return {};

  const std::size_t percent = text.find(L'%');
  if (percent == std::wstring_view::npos) {
    const std::wstring address(text);
    std::wstring v4 = Reformat(AF_INET, address);
    return v4.empty() ? Reformat(AF_INET6, address) : v4;
  }
  const std::wstring_view zone = text.substr(percent + 1);
  if (!IsZone(zone)) return {};
  std::wstring v6 = Reformat(AF_INET6, std::wstring(text.substr(0, percent)));
  if (v6.empty()) return {};
  return v6.append(L"%").append(zone);
}

}  // namespace orv::dns
