#pragma once
// Finds the accelerator's virtual adapter: the one interface that owns the
// IPv4 address 172.19.0.1 and is named "Orv-net" or "Kilna-tun".

#include "native/dns/capture/capture_platform.h"

#include <cstdint>

namespace orv::dns {

// 172.19.0.1 as it stands on the wire.
inline constexpr std::uint8_t kAcceleratorAdapterAddress[4] = {172, 19, 0, 1};

struct AdapterLookup {
  bool found = false;
  std::uint64_t luid = 0;
  std::uint32_t interfaceIndex = 0;
  std::uint32_t error = 0;  // 0 = none
};

// 52 (ERROR_DUP_NAME) when the address is on more than one interface: the
// capture cannot tell which of them is the accelerator's.
AdapterLookup LookupAcceleratorAdapter(const DnsCapturePlatform& platform) noexcept;

}  // namespace orv::dns
