#include "native/proxy/applied_proxy.h"

namespace orv::proxy {
namespace {

constexpr std::uint32_t kAppliedFlags = kProxyTypeDirect | kProxyTypeProxy;
constexpr char16_t kLocalBypass[] = u"<local>";

}  // namespace

ProxyText AppliedServer(std::uint32_t port) {
  ProxyText digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + port % 10));
    port /= 10;
  } while (port != 0);
  return u"127.0.0.1:" + digits;
}

ProxyOptions AppliedOptions(std::uint32_t port) {
  ProxyOptions options;
  options.flags = kAppliedFlags;
  options.proxyServer = AppliedServer(port);
  options.proxyBypass = kLocalBypass;
  return options;
}

}  // namespace orv::proxy
