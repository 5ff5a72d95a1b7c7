#include "native/dns/capture/capture_record.h"

#include <utility>

namespace orv::dns {

CaptureRecord::CaptureRecord(std::string queryName) : queryName_(std::move(queryName)) {
  events_.reserve(kMaxEvents);
  windows_.reserve(kMaxWindows);
}

bool CaptureRecord::OpenWindow(std::uint32_t interfaceIndex, std::uint64_t startedUs) {
  if (windows_.size() >= kMaxWindows) {
    ++dropped_;
    return false;
  }
  windows_.push_back({interfaceIndex, startedUs, 0});
  windowOpen_ = true;
  return true;
}

void CaptureRecord::EndOpenWindow(std::uint64_t endedUs) {
  if (!windowOpen_) return;
  windows_.back().endedUs = endedUs;
  windowOpen_ = false;
}

bool CaptureRecord::RecordEvent(const CaptureEvent& event) {
  if (events_.size() >= kMaxEvents) {
    ++dropped_;
    return false;
  }
  events_.push_back(event);
  return true;
}

}  // namespace orv::dns
