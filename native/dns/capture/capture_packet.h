#pragma once
// The packet entry point of the adapter packet capture: one IPv4 packet as the
// raw socket delivered it. Only UDP and TCP between a client and the
// accelerator's DNS server at 172.19.0.2 port 53 are looked at; DNS messages
// inside them go to the DNS-message step (dns_message.h). IP fragments to or
// from the server and TCP segments that are not whole DNS messages are counted,
// not reassembled. Never allocates and never reads outside [bytes, bytes +
// length). Portable: no Windows header.

#include <cstddef>
#include <cstdint>

#include "native/dns/capture/capture_record.h"

namespace orv::dns {

// 172.19.0.2 as it stands in an IPv4 header.
inline constexpr std::uint8_t kAcceleratorDnsServer[4] = {172, 19, 0, 2};
inline constexpr std::uint16_t kDnsServerPort = 53;

// timeUs stands for "now": the live capture passes the wall clock, a replay
// the packet's capture time.
void ParseCapturedPacket(CaptureRecord& record, const std::uint8_t* bytes, std::size_t length,
                         std::uint32_t interfaceIndex, std::uint64_t timeUs);

}  // namespace orv::dns
