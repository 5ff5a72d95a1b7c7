#include "native/proxy/applied_proxy.h"

#include <string_view>

namespace orv::proxy {
namespace {

constexpr std::uint32_t kAppliedFlags = kProxyTypeDirect | kProxyTypeProxy;
constexpr char16_t kLoopbackPrefix[] = u"127.0.0.1:";

}  // namespace

ProxyText AppliedServer(std::uint32_t port) {
  ProxyText digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + port % 10));
    port /= 10;
  } while (port != 0);
  return kLoopbackPrefix + digits;
}

bool IsAppliedServer(const ProxyText& server) {
  const std::u16string_view prefix = kLoopbackPrefix;
  if (server.size() <= prefix.size() || server.size() > prefix.size() + 5 || !server.starts_with(prefix)) return false;
  std::uint32_t port = 0;
  for (const char16_t c : std::u16string_view(server).substr(prefix.size())) {
    if (c < u'0' || c > u'9') return false;
    port = port * 10 + static_cast<std::uint32_t>(c - u'0');
  }
  return port >= 1 && port <= 65535 && AppliedServer(port) == server;  // no leading zeros
}

ProxyOptions AppliedOptions(std::uint32_t port) {
  ProxyOptions options;
  options.flags = kAppliedFlags;
  options.proxyServer = AppliedServer(port);
  options.proxyBypass = kAppliedBypass;
  return options;
}

}  // namespace orv::proxy
