#pragma once
// Reads classic pcap files (microsecond time stamps, either byte order) and
// hands out the IPv4 packet of each record.

#include <cstdint>
#include <string>
#include <vector>

namespace orv::dns::testing {

struct PcapPacket {
  std::uint64_t timeUs = 0;
  std::vector<std::uint8_t> ipv4;  // from the IPv4 header on
};

// Link types whose records hold IPv4 packets we can find.
inline constexpr std::uint32_t kLinkEthernet = 1;
inline constexpr std::uint32_t kLinkRaw = 101;
inline constexpr std::uint32_t kLinkIpv4 = 228;

// The IPv4 packets of the file in order; records that carry anything else
// (ARP, IPv6) are left out. False with a message in error when the file cannot
// be read, is not a microsecond pcap file, has another link type, or ends
// inside a record.
bool ReadPcapIpv4(const std::string& path, std::vector<PcapPacket>& packets, std::string& error);

}  // namespace orv::dns::testing
