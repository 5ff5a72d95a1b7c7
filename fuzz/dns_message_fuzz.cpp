// The DNS-message step on arbitrary messages for the name host.test: the
// input is offered as a query, then as a reply from the same client, so that
// a question-less reply can pair with it, then as a reply again five seconds
// and one microsecond later.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/dns_fuzz_input.h"
#include "native/dns/capture/dns_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::uint16_t type = orv::dns::MatchQuestion("host.test", data, size);
  if (type != 0 && type != 1 && type != 28) std::abort();

  orv::dns::CaptureRecord record("host.test");
  orv::dns::DnsMessageOrigin origin;
  origin.clientAddress = 0xAC130001;
  origin.interfaceIndex = 3;
  origin.clientPort = 50000;
  origin.transport = orv::dns::DnsTransport::kUdp;
  const std::uint64_t timeUs = 1'700'000'000'000'000;
  orv::dns::ParseDnsMessage(record, origin, data, size, timeUs);
  origin.stage = orv::dns::DnsStage::kReply;
  orv::dns::ParseDnsMessage(record, origin, data, size, timeUs + 1);
  orv::dns::ParseDnsMessage(record, origin, data, size, timeUs + 1 + orv::dns::kReplyPairingWindowUs);
  orv::dns::fuzzing::CheckRecord(record);
  if (record.events().size() > 3) std::abort();
  return 0;
}
