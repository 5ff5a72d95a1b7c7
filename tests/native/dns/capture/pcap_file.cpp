#include "tests/native/dns/capture/pcap_file.h"

#include <fstream>
#include <iterator>

namespace orv::dns::testing {
namespace {

constexpr std::uint32_t kMagicMicroseconds = 0xA1B2C3D4;
constexpr std::uint32_t kMagicSwapped = 0xD4C3B2A1;
constexpr std::size_t kFileHeader = 24;
constexpr std::size_t kRecordHeader = 16;
constexpr std::size_t kEthernetHeader = 14;

class FieldReader {
 public:
  explicit FieldReader(bool swapped) : swapped_(swapped) {}
  std::uint32_t U32(const std::uint8_t* p) const {
    return swapped_ ? (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3]
                    : (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
  }

 private:
  bool swapped_;
};

// The IPv4 packet inside one record's data, or nothing.
bool FindIpv4(std::uint32_t linkType, const std::uint8_t* data, std::size_t size, PcapPacket& packet) {
  std::size_t offset = 0;
  if (linkType == kLinkEthernet) {
    offset = kEthernetHeader;
    if (size < offset) return false;
    std::uint16_t etherType = static_cast<std::uint16_t>((data[12] << 8) | data[13]);
    while (etherType == 0x8100 && size >= offset + 4) {  // VLAN tags
      etherType = static_cast<std::uint16_t>((data[offset + 2] << 8) | data[offset + 3]);
      offset += 4;
    }
    if (etherType != 0x0800) return false;
  }
  if (size <= offset || (data[offset] >> 4) != 4) return false;
  packet.ipv4.assign(data + offset, data + size);
  return true;
}

}  // namespace

bool ReadPcapIpv4(const std::string& path, std::vector<PcapPacket>& packets, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot open " + path;
    return false;
  }
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (bytes.size() < kFileHeader) {
    error = "not a pcap file: too short";
    return false;
  }
  const std::uint32_t magic = FieldReader(false).U32(bytes.data());
  if (magic != kMagicMicroseconds && magic != kMagicSwapped) {
    error = "not a classic pcap file with microsecond time stamps";
    return false;
  }
  const FieldReader field(magic == kMagicSwapped);
  const std::uint32_t linkType = field.U32(bytes.data() + 20) & 0x0FFFFFFF;
  if (linkType != kLinkEthernet && linkType != kLinkRaw && linkType != kLinkIpv4) {
    error = "unsupported link type " + std::to_string(linkType);
    return false;
  }
  std::size_t pos = kFileHeader;
  while (pos < bytes.size()) {
    if (bytes.size() - pos < kRecordHeader) {
      error = "file ends inside a record header";
      return false;
    }
    const std::uint8_t* header = bytes.data() + pos;
    const std::uint64_t seconds = field.U32(header);
    const std::uint64_t microseconds = field.U32(header + 4);
    const std::size_t captured = field.U32(header + 8);
    pos += kRecordHeader;
    if (bytes.size() - pos < captured) {
      error = "file ends inside a record";
      return false;
    }
    PcapPacket packet;
    packet.timeUs = seconds * 1'000'000 + microseconds;
    if (FindIpv4(linkType, bytes.data() + pos, captured, packet)) packets.push_back(std::move(packet));
    pos += captured;
  }
  return true;
}

}  // namespace orv::dns::testing
