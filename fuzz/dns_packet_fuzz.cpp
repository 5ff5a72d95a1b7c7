// The capture's packet entry point on arbitrary packets. An input is a run of
// records: one control byte, a big-endian 16-bit length and that many packet
// bytes (the last record takes what is left). The control byte's low two bits
// open (1) or end (2) a window before the packet; its upper six bits advance
// the clock in quarter seconds, so the five-second reply pairing is crossed.
// Each packet is copied to a buffer of its own size, so any read past it is
// caught.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/dns_fuzz_input.h"
#include "native/dns/capture/capture_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orv::dns::CaptureRecord record("host.test");
  std::uint64_t timeUs = 1'700'000'000'000'000;
  std::uint32_t interfaceIndex = 1;
  size_t pos = 0;
  while (pos < size) {
    const std::uint8_t control = data[pos++];
    size_t length = size - pos;
    if (length >= 2) {
      length = std::min<size_t>(static_cast<size_t>((data[pos] << 8) | data[pos + 1]), length - 2);
      pos += 2;
    }
    timeUs += static_cast<std::uint64_t>(control >> 2) * 250'000;
    if ((control & 3) == 1 && record.OpenWindow(interfaceIndex, timeUs)) ++interfaceIndex;
    if ((control & 3) == 2) record.EndOpenWindow(timeUs);
    const std::vector<std::uint8_t> packet(data + pos, data + pos + length);
    orv::dns::ParseCapturedPacket(record, packet.data(), packet.size(), interfaceIndex, timeUs);
    pos += length;
  }
  orv::dns::fuzzing::CheckRecord(record);
  return 0;
}
