// dns_capture_replay NAME FILE.pcap
//
// Feeds every IPv4 packet of a pcap file to the capture's packet entry point,
// at the packet's own time stamp and on interface 1, inside one window from
// the first packet to the last, and prints the capture JSON. A test tool: it
// lets captures of real DNS traffic be checked against other decoders.

#include <cstdio>
#include <string>
#include <vector>

#include "native/dns/capture/capture_json.h"
#include "native/dns/capture/capture_packet.h"
#include "native/dns/capture/traced_name.h"
#include "tests/native/dns/capture/pcap_file.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dns_capture_replay NAME FILE.pcap\n");
    return 2;
  }
  const std::string nameBytes = argv[1];
  const auto name = orv::dns::TracedName(std::u16string(nameBytes.begin(), nameBytes.end()));
  if (!name) {
    std::fprintf(stderr, "dns_capture_replay: %s is not a host name that can be traced\n", argv[1]);
    return 2;
  }
  std::vector<orv::dns::testing::PcapPacket> packets;
  std::string error;
  if (!orv::dns::testing::ReadPcapIpv4(argv[2], packets, error)) {
    std::fprintf(stderr, "dns_capture_replay: %s\n", error.c_str());
    return 2;
  }

  constexpr std::uint32_t kInterfaceIndex = 1;
  orv::dns::CaptureRecord record(*name);
  if (!packets.empty() && !record.OpenWindow(kInterfaceIndex, packets.front().timeUs)) {
    std::fprintf(stderr, "dns_capture_replay: no capture window\n");
    return 2;
  }
  for (const auto& packet : packets) {
    orv::dns::ParseCapturedPacket(record, packet.ipv4.data(), packet.ipv4.size(), kInterfaceIndex, packet.timeUs);
  }
  if (!packets.empty()) record.EndOpenWindow(packets.back().timeUs);

  std::string json;
  orv::dns::AppendCaptureJson(json, record);
  std::printf("%s\n", json.c_str());
  return 0;
}
