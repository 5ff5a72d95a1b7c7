#pragma once
// The adapter packet capture as the DNS client trace sees it: made for the
// traced name when the trace starts, stopped with it, and asked for its JSON
// object once stopped. Destroying it stops it first.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace orv::dns {

class TraceCapture {
 public:
  virtual ~TraceCapture() = default;
  // Ends the capture and waits for its thread; may be called again.
  virtual void Stop() noexcept = 0;
  // The value of "orvPackets" in the trace result.
  virtual std::string Json() const = 0;
};

// Makes and starts a capture for a host name; may throw when it cannot.
using TraceCaptureFactory = std::function<std::unique_ptr<TraceCapture>(std::wstring_view name)>;

}  // namespace orv::dns
