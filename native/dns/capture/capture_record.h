#pragma once
// What the adapter packet capture keeps: the DNS messages it recorded, the
// windows in which its socket was armed, and its counters. Every list is
// allocated once, at its full size, when the record is made; recording never
// allocates. Only one thread writes a record. Portable: no Windows header.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orv::dns {

enum class DnsStage : std::uint8_t { kQuery = 0, kReply = 1 };
enum class DnsTransport : std::uint8_t { kUdp = 0, kTcp = 1 };

// One recorded DNS message to or from the accelerator's DNS server.
struct CaptureEvent {
  std::uint64_t timeUs = 0;         // wall clock when the message was parsed
  std::uint32_t clientAddress = 0;  // the endpoint that is not the server, as read big-endian
  std::uint32_t interfaceIndex = 0;
  std::uint16_t transactionId = 0;
  std::uint16_t clientPort = 0;
  std::uint16_t queryType = 0;     // 1 (A) or 28 (AAAA)
  std::uint8_t responseCode = 0;   // meaningful for replies only
  DnsTransport transport = DnsTransport::kUdp;
  DnsStage stage = DnsStage::kQuery;
};

// One arming of the capture socket; endedUs is 0 while the window is open.
struct CaptureWindow {
  std::uint32_t interfaceIndex = 0;
  std::uint64_t startedUs = 0;
  std::uint64_t endedUs = 0;
};

class CaptureRecord {
 public:
  static constexpr std::size_t kMaxEvents = 96;
  static constexpr std::size_t kMaxWindows = 8;

  // queryName is a traced name (traced_name.h); an empty one matches nothing.
  explicit CaptureRecord(std::string queryName);

  const std::string& queryName() const { return queryName_; }

  // Refuses a window beyond the eighth: false, and one more dropped.
  [[nodiscard]] bool OpenWindow(std::uint32_t interfaceIndex, std::uint64_t startedUs);
  // Sets the end time of the last window if it is still open; else nothing.
  void EndOpenWindow(std::uint64_t endedUs);
  bool HasOpenWindow() const { return windowOpen_; }

  // Keeps the event, or counts it as dropped once the list is full (false).
  [[nodiscard]] bool RecordEvent(const CaptureEvent& event);

  // A non-zero code replaces the last one; 0 never clears it.
  void RecordError(std::uint32_t code) {
    if (code != 0) errorCode_ = code;
  }
  void CountUnparsedTcpSegment() { ++unparsedTcpSegments_; }
  void CountFragmentedEndpointPacket() { ++fragmentedEndpointPackets_; }
  void SetExpired(bool expired) { expired_ = expired; }

  std::span<const CaptureEvent> events() const { return events_; }
  std::span<const CaptureWindow> windows() const { return windows_; }
  std::uint32_t errorCode() const { return errorCode_; }
  std::uint64_t dropped() const { return dropped_; }
  std::uint64_t unparsedTcpSegments() const { return unparsedTcpSegments_; }
  std::uint64_t fragmentedEndpointPackets() const { return fragmentedEndpointPackets_; }
  bool expired() const { return expired_; }

 private:
  std::string queryName_;
  std::vector<CaptureEvent> events_;
  std::vector<CaptureWindow> windows_;
  std::uint32_t errorCode_ = 0;
  std::uint64_t dropped_ = 0;
  std::uint64_t unparsedTcpSegments_ = 0;
  std::uint64_t fragmentedEndpointPackets_ = 0;
  bool expired_ = false;
  bool windowOpen_ = false;
};

}  // namespace orv::dns
