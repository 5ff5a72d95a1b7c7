#include "native/dns/capture/capture_platform.h"

namespace orv::dns {

const DnsCapturePlatform& DnsCapturePlatform::Production() noexcept {
  static const DnsCapturePlatform real;
  return real;
}

}  // namespace orv::dns
