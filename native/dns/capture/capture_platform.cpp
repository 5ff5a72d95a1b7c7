#include "native/dns/capture/capture_platform.h"

#include "native/common/system_library.h"

namespace orv::dns {

const DnsCapturePlatform& DnsCapturePlatform::Production() noexcept {
  static const DnsCapturePlatform real = [] {
    const SystemLibrary& ipHelper = KeptSystemLibrary<system_dll::kIphlpapi>();
    DnsCapturePlatform platform;
    platform.GetUnicastIpAddressTable =
        ipHelper.FindOr<decltype(&::GetUnicastIpAddressTable), ERROR_PROC_NOT_FOUND>("GetUnicastIpAddressTable");
    platform.GetIfEntry2 = ipHelper.FindOr<decltype(&::GetIfEntry2), ERROR_PROC_NOT_FOUND>("GetIfEntry2");
    platform.FreeMibTable = ipHelper.FindOr<decltype(&::FreeMibTable), 0>("FreeMibTable");
    return platform;
  }();
  return real;
}

}  // namespace orv::dns
