#pragma once
// The DNS-message step of the adapter packet capture: the header checks, the
// question match against the traced name and the pairing of question-less
// replies with recorded queries. Never allocates and never reads outside the
// message it is given. Portable: no Windows header.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "native/dns/capture/capture_record.h"

namespace orv::dns {

inline constexpr std::uint16_t kQueryTypeA = 1;
inline constexpr std::uint16_t kQueryTypeAaaa = 28;
inline constexpr std::size_t kDnsHeaderSize = 12;
// A reply without a question takes the type of a query seen at most this long before it.
inline constexpr std::uint64_t kReplyPairingWindowUs = 5'000'000;

// Where a DNS message came from, as the IPv4/UDP/TCP layers saw it.
struct DnsMessageOrigin {
  std::uint32_t clientAddress = 0;
  std::uint32_t interfaceIndex = 0;
  std::uint16_t clientPort = 0;
  DnsTransport transport = DnsTransport::kUdp;
  DnsStage stage = DnsStage::kQuery;
};

// The query type (1 or 28) when the message holds exactly one question, of
// class IN, whose name is queryName (case-insensitively, compression pointers
// followed backwards only, at most 128 labels and pointers); 0 otherwise.
// A label that itself contains "." never matches.
std::uint16_t MatchQuestion(std::string_view queryName, const std::uint8_t* message, std::size_t length);

// Records the message in the record when it is a standard query (stage 0) or
// reply (stage 1) for the record's name; timeUs is the time it was parsed.
void ParseDnsMessage(CaptureRecord& record, const DnsMessageOrigin& origin, const std::uint8_t* message,
                     std::size_t length, std::uint64_t timeUs);

}  // namespace orv::dns
