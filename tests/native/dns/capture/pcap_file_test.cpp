// The replay tool's pcap reader: both byte orders, Ethernet and raw IPv4
// records, and files it must refuse.

#include "tests/native/dns/capture/pcap_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/native/dns/capture/dns_packet_builder.h"

namespace orv::dns::testing {
namespace {

void Put32(Bytes& out, std::uint32_t value, bool bigEndian) {
  for (int i = 0; i < 4; ++i) {
    const int shift = bigEndian ? 24 - 8 * i : 8 * i;
    out.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

struct Record {
  std::uint32_t seconds;
  std::uint32_t microseconds;
  Bytes data;
};

Bytes PcapFile(bool bigEndian, std::uint32_t linkType, const std::vector<Record>& records) {
  Bytes out;
  Put32(out, 0xA1B2C3D4, bigEndian);
  Put32(out, bigEndian ? 0x00020004 : 0x00040002, bigEndian);  // version 2.4, as two 16-bit fields
  Put32(out, 0, bigEndian);
  Put32(out, 0, bigEndian);
  Put32(out, 65535, bigEndian);
  Put32(out, linkType, bigEndian);
  for (const Record& r : records) {
    Put32(out, r.seconds, bigEndian);
    Put32(out, r.microseconds, bigEndian);
    Put32(out, static_cast<std::uint32_t>(r.data.size()), bigEndian);
    Put32(out, static_cast<std::uint32_t>(r.data.size()), bigEndian);
    Append(out, r.data);
  }
  return out;
}

std::string WriteFile(const std::string& name, const Bytes& bytes) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

Bytes Ethernet(std::uint16_t etherType, const Bytes& payload) {
  Bytes frame(12, 0);
  PutBig16(frame, etherType);
  Append(frame, payload);
  return frame;
}

const Bytes kPacket = UdpPacket({kAdapter, 50000}, {kServer, 53}, DnsQuery(1, "host.test", 1));

TEST(PcapFile, ReadsBothByteOrdersAndTheIpv4LinkTypes) {
  for (const bool bigEndian : {false, true}) {
    for (const std::uint32_t linkType : {kLinkRaw, kLinkIpv4}) {
      std::vector<PcapPacket> packets;
      std::string error;
      const auto path = WriteFile("raw.pcap", PcapFile(bigEndian, linkType, {{7, 250, kPacket}, {8, 1, kPacket}}));
      ASSERT_TRUE(ReadPcapIpv4(path, packets, error)) << error;
      ASSERT_EQ(packets.size(), 2u);
      EXPECT_EQ(packets[0].timeUs, 7'000'250u);
      EXPECT_EQ(packets[1].timeUs, 8'000'001u);
      EXPECT_EQ(packets[0].ipv4, kPacket);
    }
  }
}

TEST(PcapFile, EthernetFramesGiveTheirIpv4PacketsOnly) {
  Bytes tagged(12, 0);
  Append(tagged, {0x81, 0x00, 0x00, 0x05, 0x08, 0x00});
  Append(tagged, kPacket);
  std::vector<PcapPacket> packets;
  std::string error;
  const auto path = WriteFile(
      "ethernet.pcap", PcapFile(false, kLinkEthernet,
                                {{1, 0, Ethernet(0x0806, Bytes(28, 0))}, {2, 0, Ethernet(0x0800, kPacket)}, {3, 0, tagged}}));
  ASSERT_TRUE(ReadPcapIpv4(path, packets, error)) << error;
  ASSERT_EQ(packets.size(), 2u);
  EXPECT_EQ(packets[0].ipv4, kPacket);
  EXPECT_EQ(packets[1].ipv4, kPacket);
  EXPECT_EQ(packets[1].timeUs, 3'000'000u);
}

TEST(PcapFile, RefusesWhatItCannotRead) {
  std::vector<PcapPacket> packets;
  std::string error;
  EXPECT_FALSE(ReadPcapIpv4(::testing::TempDir() + "absent.pcap", packets, error));
  Bytes nanoseconds = PcapFile(false, kLinkRaw, {});
  nanoseconds[0] = 0x4D;
  nanoseconds[1] = 0x3C;
  EXPECT_FALSE(ReadPcapIpv4(WriteFile("nano.pcap", nanoseconds), packets, error));
  EXPECT_FALSE(ReadPcapIpv4(WriteFile("ppp.pcap", PcapFile(false, 9, {})), packets, error));
  Bytes cut = PcapFile(false, kLinkRaw, {{1, 0, kPacket}});
  cut.pop_back();
  EXPECT_FALSE(ReadPcapIpv4(WriteFile("cut.pcap", cut), packets, error));
  EXPECT_NE(error.find("ends inside"), std::string::npos);
}

}  // namespace
}  // namespace orv::dns::testing
