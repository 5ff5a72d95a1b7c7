// dns_fuzz_seeds PACKET_DIR MESSAGE_DIR [CAPTURE.pcap]
//
// Writes the seed corpora of dns_packet_fuzz and dns_message_fuzz: the packets
// of the capture tests and, when given, every IPv4 packet of a (rewritten)
// real capture. Random bytes almost never get past the server-address check;
// these seeds start the fuzzers inside the parser. The seeds are committed
// under fuzz/corpus/; run this again only to renew them.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/native/dns/capture/dns_packet_builder.h"
#include "tests/native/dns/capture/pcap_file.h"

namespace {

using namespace orv::dns::testing;

const Endpoint kClient{kAdapter, 50000};
const Endpoint kServerEnd{kServer, 53};

void Write(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// Packets as records of dns_packet_fuzz's input: control byte, length, bytes.
Bytes Records(std::initializer_list<std::pair<std::uint8_t, Bytes>> packets) {
  Bytes out;
  for (const auto& [control, packet] : packets) {
    out.push_back(control);
    PutBig16(out, static_cast<std::uint16_t>(packet.size()));
    Append(out, packet);
  }
  return out;
}

constexpr std::uint8_t kOpen = 1;
constexpr std::uint8_t kOneSecondLater = 4 << 2;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: dns_fuzz_seeds PACKET_DIR MESSAGE_DIR [CAPTURE.pcap]\n");
    return 2;
  }
  const std::string packets = argv[1];
  const std::string messages = argv[2];

  const Bytes query = DnsQuery(0x1234, "host.test", 1);
  const Bytes queryAaaa = DnsQuery(0x1235, "Host.Test", 28);
  const Bytes reply = DnsReply(0x1234, "host.test", 1, 3);
  const Bytes bareReply = DnsMessage(0x1234, true, 0, {}, 2);
  Bytes pointerQuestion = {1, 'a', 0xC0, 12};
  Append(pointerQuestion, TypeAndClass(1));
  const Bytes pointerMessage = DnsMessage(9, false, 1, pointerQuestion);

  Write(messages + "/query", query);
  Write(messages + "/query-aaaa", queryAaaa);
  Write(messages + "/reply", reply);
  Write(messages + "/bare-reply", bareReply);
  Write(messages + "/pointer", pointerMessage);

  Bytes fragment = UdpPacket(kClient, kServerEnd, query);
  fragment[6] = 0x20;
  Bytes wholeAndHalf = TcpFramed({query, queryAaaa});
  wholeAndHalf.resize(wholeAndHalf.size() - 7);
  Write(packets + "/udp-exchange",
        Records({{kOpen, UdpPacket(kClient, kServerEnd, query)},
                 {kOneSecondLater, UdpPacket(kServerEnd, kClient, reply)}}));
  Write(packets + "/udp-bare-reply",
        Records({{kOpen, UdpPacket(kClient, kServerEnd, queryAaaa)},
                 {kOneSecondLater, UdpPacket(kServerEnd, kClient, DnsMessage(0x1235, true, 0, {}, 2))}}));
  Write(packets + "/tcp-two-messages", Records({{kOpen, TcpPacket(kClient, kServerEnd, TcpFramed({query, queryAaaa}))}}));
  Write(packets + "/tcp-whole-and-half", Records({{kOpen, TcpPacket(kClient, kServerEnd, wholeAndHalf)}}));
  Write(packets + "/tcp-reply", Records({{kOpen, TcpPacket(kServerEnd, kClient, TcpFramed({reply}))}}));
  Write(packets + "/fragment", Records({{kOpen, fragment}}));

  if (argc == 4) {
    std::vector<PcapPacket> captured;
    std::string error;
    if (!ReadPcapIpv4(argv[3], captured, error)) {
      std::fprintf(stderr, "dns_fuzz_seeds: %s\n", error.c_str());
      return 1;
    }
    Bytes all;
    for (size_t i = 0; i < captured.size(); ++i) {
      const Bytes& ip = captured[i].ipv4;
      const Bytes one = Records({{kOpen, ip}});
      Write(packets + "/capture-" + std::to_string(i), one);
      Append(all, Records({{static_cast<std::uint8_t>(i == 0 ? kOpen : 0), ip}}));
      // UDP messages alone for the message step.
      if (ip.size() > 28 && ip[9] == 17 && (ip[0] & 0x0F) == 5) {
        Write(messages + "/capture-" + std::to_string(i), Bytes(ip.begin() + 28, ip.end()));
      }
    }
    Write(packets + "/capture-all", all);
  }
  return 0;
}
