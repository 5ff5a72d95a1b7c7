#include "native/dns/capture/dns_message.h"

#include "native/dns/capture/wire_bytes.h"

namespace orv::dns {
namespace {

constexpr int kMaxNameSteps = 128;
constexpr std::uint16_t kClassIn = 1;

// The type of the first recorded query that a question-less reply answers, or
// 0 when none does or when candidates disagree on the type.
std::uint16_t PairedQueryType(const CaptureRecord& record, const DnsMessageOrigin& origin,
                              std::uint16_t transactionId, std::uint64_t timeUs) {
  std::uint16_t type = 0;
  for (const CaptureEvent& query : record.events()) {
    if (query.stage != DnsStage::kQuery || query.clientAddress != origin.clientAddress ||
        query.transactionId != transactionId || query.clientPort != origin.clientPort ||
        query.transport != origin.transport || query.interfaceIndex != origin.interfaceIndex) {
      continue;
    }
    if (query.timeUs > timeUs || timeUs - query.timeUs > kReplyPairingWindowUs) continue;
    if (type != 0 && type != query.queryType) return 0;
    type = query.queryType;
  }
  return type;
}

}  // namespace

std::uint16_t MatchQuestion(std::string_view queryName, const std::uint8_t* message, std::size_t length) {
  if (length < kDnsHeaderSize || ReadBig16(message + 4) != 1) return 0;
  std::size_t pos = kDnsHeaderSize;
  std::size_t matched = 0;     // query-name characters consumed
  std::size_t afterName = 0;   // where type and class start, once known
  bool firstLabel = true;
  for (int step = 0; step < kMaxNameSteps && pos < length; ++step) {
    const std::uint8_t lead = message[pos];
    if (lead == 0) {
      if (matched != queryName.size()) return 0;
      if (afterName == 0) afterName = pos + 1;
      if (length - afterName < 4) return 0;
      const std::uint16_t type = ReadBig16(message + afterName);
      if (ReadBig16(message + afterName + 2) != kClassIn) return 0;
      return type == kQueryTypeA || type == kQueryTypeAaaa ? type : 0;
    }
    if (lead >= 0xC0) {
      if (length - pos < 2) return 0;
      const std::size_t target = ReadBig16(message + pos) & 0x3FFF;
      if (target < kDnsHeaderSize || target >= pos) return 0;
      if (afterName == 0) afterName = pos + 2;
      pos = target;
      continue;
    }
    if (lead >= 64 || length - pos - 1 < lead) return 0;
    if (!firstLabel) {
      if (matched >= queryName.size() || queryName[matched] != '.') return 0;
      ++matched;
    }
    firstLabel = false;
    if (queryName.size() - matched < lead) return 0;
    for (std::size_t i = 1; i <= lead; ++i) {
      std::uint8_t c = message[pos + i];
      // A dot inside a label is not a label boundary: "a.b" in one label is not the name a.b.
      if (c == '.') return 0;
      if (c >= 'A' && c <= 'Z') c = static_cast<std::uint8_t>(c - 'A' + 'a');
      if (c != static_cast<std::uint8_t>(queryName[matched++])) return 0;
    }
    pos += 1u + lead;
  }
  return 0;
}

void ParseDnsMessage(CaptureRecord& record, const DnsMessageOrigin& origin, const std::uint8_t* message,
                     std::size_t length, std::uint64_t timeUs) {
  if (length < kDnsHeaderSize) return;
  const std::uint8_t flags = message[2];
  if ((flags >> 7) != static_cast<std::uint8_t>(origin.stage) || ((flags >> 3) & 0x0F) != 0) return;
  const std::uint16_t transactionId = ReadBig16(message);
  std::uint16_t type = MatchQuestion(record.queryName(), message, length);
  if (type == 0) {
    if (origin.stage == DnsStage::kQuery || ReadBig16(message + 4) != 0) return;
    type = PairedQueryType(record, origin, transactionId, timeUs);
    if (type == 0) return;
  }
  CaptureEvent event;
  event.timeUs = timeUs;
  event.clientAddress = origin.clientAddress;
  event.interfaceIndex = origin.interfaceIndex;
  event.transactionId = transactionId;
  event.clientPort = origin.clientPort;
  event.queryType = type;
  event.responseCode = static_cast<std::uint8_t>(message[3] & 0x0F);
  event.transport = origin.transport;
  event.stage = origin.stage;
  // A full list counts the event as dropped itself; the parse goes on.
  (void)record.RecordEvent(event);
}

}  // namespace orv::dns
