#include "native/dns/capture/capture_packet.h"

#include <cstring>

#include "native/dns/capture/dns_message.h"
#include "native/dns/capture/wire_bytes.h"

namespace orv::dns {
namespace {

constexpr std::uint8_t kProtocolTcp = 6;
constexpr std::uint8_t kProtocolUdp = 17;
constexpr std::size_t kIpv4MinHeader = 20;
constexpr std::size_t kTcpMinHeader = 20;
constexpr std::size_t kUdpHeader = 8;

// Compared as stored, in network byte order, one 32-bit load each.
bool IsServer(const std::uint8_t* address) {
  std::uint32_t value, server;
  std::memcpy(&value, address, 4);
  std::memcpy(&server, kAcceleratorDnsServer, 4);
  return value == server;
}

void ParseUdp(CaptureRecord& record, const DnsMessageOrigin& origin, const std::uint8_t* udp, std::size_t size,
              std::uint64_t timeUs) {
  const std::size_t udpLength = ReadBig16(udp + 4);
  if (udpLength < kUdpHeader || udpLength > size) return;
  ParseDnsMessage(record, origin, udp + kUdpHeader, udpLength - kUdpHeader, timeUs);
}

// DNS over TCP: each message carries a two-byte length prefix. Only segments
// made of whole messages are parsed; anything else is counted once.
void ParseTcp(CaptureRecord& record, const DnsMessageOrigin& origin, const std::uint8_t* tcp, std::size_t size,
              std::uint64_t timeUs) {
  const std::size_t headerLength = static_cast<std::size_t>(tcp[12] >> 4) * 4;
  if (headerLength < kTcpMinHeader || headerLength >= size) return;  // also every bare ACK
  std::size_t pos = headerLength;
  while (pos < size) {
    const std::size_t left = size - pos;
    if (left < 2) break;
    const std::size_t messageLength = ReadBig16(tcp + pos);
    if (messageLength < kDnsHeaderSize || messageLength > left - 2) break;
    ParseDnsMessage(record, origin, tcp + pos + 2, messageLength, timeUs);
    pos += 2 + messageLength;
  }
  if (pos != size) record.CountUnparsedTcpSegment();
}

}  // namespace

void ParseCapturedPacket(CaptureRecord& record, const std::uint8_t* bytes, std::size_t length,
                         std::uint32_t interfaceIndex, std::uint64_t timeUs) {
  if (bytes == nullptr || length < kIpv4MinHeader) return;
  // Almost all traffic on the adapter is not DNS: the address test comes
  // first. Every test before the fragment count only filters, so their order
  // changes nothing else.
  const bool fromServer = IsServer(bytes + 12);
  const bool toServer = IsServer(bytes + 16);
  if (fromServer == toServer) return;
  if ((bytes[0] >> 4) != 4) return;
  const std::size_t headerLength = static_cast<std::size_t>(bytes[0] & 0x0F) * 4;
  const std::size_t totalLength = ReadBig16(bytes + 2);
  if (headerLength < kIpv4MinHeader || totalLength < headerLength || totalLength > length) return;
  const std::uint8_t protocol = bytes[9];
  if (protocol != kProtocolTcp && protocol != kProtocolUdp) return;
  if ((ReadBig16(bytes + 6) & 0x3FFF) != 0) {
    record.CountFragmentedEndpointPacket();
    return;
  }

  const std::uint8_t* payload = bytes + headerLength;
  const std::size_t payloadSize = totalLength - headerLength;
  if (payloadSize < (protocol == kProtocolTcp ? kTcpMinHeader : kUdpHeader)) return;
  const std::uint16_t sourcePort = ReadBig16(payload);
  const std::uint16_t destinationPort = ReadBig16(payload + 2);
  const std::uint16_t serverPort = toServer ? destinationPort : sourcePort;
  const std::uint16_t clientPort = toServer ? sourcePort : destinationPort;
  if (serverPort != kDnsServerPort || clientPort == 0) return;

  DnsMessageOrigin origin;
  origin.clientAddress = ReadBig32(toServer ? bytes + 12 : bytes + 16);
  origin.interfaceIndex = interfaceIndex;
  origin.clientPort = clientPort;
  origin.stage = toServer ? DnsStage::kQuery : DnsStage::kReply;
  if (protocol == kProtocolUdp) {
    origin.transport = DnsTransport::kUdp;
    ParseUdp(record, origin, payload, payloadSize, timeUs);
  } else {
    origin.transport = DnsTransport::kTcp;
    ParseTcp(record, origin, payload, payloadSize, timeUs);
  }
}

}  // namespace orv::dns
