#pragma once
// Builds DNS messages and the IPv4/UDP/TCP packets that carry them, byte by
// byte, for the capture tests, the fuzz seeds and the benchmark.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace orv::dns::testing {

using Bytes = std::vector<std::uint8_t>;
using Address = std::array<std::uint8_t, 4>;

inline constexpr Address kServer = {172, 19, 0, 2};
inline constexpr Address kAdapter = {172, 19, 0, 1};

struct Endpoint {
  Address address;
  std::uint16_t port;
};

inline void PutBig16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

inline void Append(Bytes& out, const Bytes& tail) { out.insert(out.end(), tail.begin(), tail.end()); }

// A wire name from dotted text, one label per dot-separated part, ending in the zero byte.
inline Bytes WireName(std::string_view dotted) {
  Bytes out;
  while (!dotted.empty()) {
    const auto dot = dotted.find('.');
    const auto label = dotted.substr(0, dot);
    out.push_back(static_cast<std::uint8_t>(label.size()));
    out.insert(out.end(), label.begin(), label.end());
    dotted = dot == std::string_view::npos ? std::string_view() : dotted.substr(dot + 1);
  }
  out.push_back(0);
  return out;
}

inline Bytes TypeAndClass(std::uint16_t type, std::uint16_t dnsClass = 1) {
  Bytes out;
  PutBig16(out, type);
  PutBig16(out, dnsClass);
  return out;
}

// Header (id, QR, opcode, response code, question count) followed by body.
inline Bytes DnsMessage(std::uint16_t id, bool reply, std::uint16_t questionCount, const Bytes& body,
                        std::uint8_t responseCode = 0, std::uint8_t opcode = 0) {
  Bytes out;
  PutBig16(out, id);
  out.push_back(static_cast<std::uint8_t>((reply ? 0x80 : 0) | (opcode << 3) | 0x01));  // RD set
  out.push_back(static_cast<std::uint8_t>((reply ? 0x80 : 0) | (responseCode & 0x0F)));
  PutBig16(out, questionCount);
  PutBig16(out, reply ? 1 : 0);
  PutBig16(out, 0);
  PutBig16(out, 0);
  Append(out, body);
  return out;
}

inline Bytes Question(std::string_view name, std::uint16_t type) {
  Bytes body = WireName(name);
  Append(body, TypeAndClass(type));
  return body;
}

inline Bytes DnsQuery(std::uint16_t id, std::string_view name, std::uint16_t type) {
  return DnsMessage(id, false, 1, Question(name, type));
}

// A reply that repeats the question and answers with a compressed name.
inline Bytes DnsReply(std::uint16_t id, std::string_view name, std::uint16_t type, std::uint8_t responseCode = 0) {
  Bytes body = Question(name, type);
  Append(body, {0xC0, 0x0C});
  Append(body, TypeAndClass(type));
  Append(body, {0, 0, 0, 60});
  if (type == 28) {
    PutBig16(body, 16);
    Append(body, {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
  } else {
    PutBig16(body, 4);
    Append(body, {203, 0, 113, 7});
  }
  return DnsMessage(id, true, 1, body, responseCode);
}

inline Bytes Ipv4Packet(std::uint8_t protocol, const Address& source, const Address& destination,
                        const Bytes& payload) {
  Bytes out;
  const auto total = static_cast<std::uint16_t>(20 + payload.size());
  Append(out, {0x45, 0});
  PutBig16(out, total);
  Append(out, {0x12, 0x34, 0x40, 0x00, 64, protocol, 0, 0});  // DF set, checksum below
  out.insert(out.end(), source.begin(), source.end());
  out.insert(out.end(), destination.begin(), destination.end());
  std::uint32_t sum = 0;
  for (int i = 0; i < 20; i += 2) sum += static_cast<std::uint32_t>((out[i] << 8) | out[i + 1]);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  out[10] = static_cast<std::uint8_t>(~sum >> 8);
  out[11] = static_cast<std::uint8_t>(~sum);
  Append(out, payload);
  return out;
}

inline Bytes UdpPacket(const Endpoint& source, const Endpoint& destination, const Bytes& dns) {
  Bytes udp;
  PutBig16(udp, source.port);
  PutBig16(udp, destination.port);
  PutBig16(udp, static_cast<std::uint16_t>(8 + dns.size()));
  PutBig16(udp, 0);
  Append(udp, dns);
  return Ipv4Packet(17, source.address, destination.address, udp);
}

// A TCP segment (20-byte header, ACK|PSH) carrying data as it is.
inline Bytes TcpPacket(const Endpoint& source, const Endpoint& destination, const Bytes& data) {
  Bytes tcp;
  PutBig16(tcp, source.port);
  PutBig16(tcp, destination.port);
  Append(tcp, {0, 0, 0, 1, 0, 0, 0, 1, 0x50, 0x18, 0xFF, 0xFF, 0, 0, 0, 0});
  Append(tcp, data);
  return Ipv4Packet(6, source.address, destination.address, tcp);
}

// DNS messages framed for TCP, each behind its two-byte length.
inline Bytes TcpFramed(std::initializer_list<Bytes> messages) {
  Bytes out;
  for (const Bytes& message : messages) {
    PutBig16(out, static_cast<std::uint16_t>(message.size()));
    Append(out, message);
  }
  return out;
}

}  // namespace orv::dns::testing
