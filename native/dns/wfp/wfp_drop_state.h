#pragma once
// The state a drop-event collection shares between the trace, its worker and
// the platform's callback threads. Every field is guarded by the mutex.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "native/dns/wfp/wfp_engine_api.h"

namespace orv::dns {

inline constexpr size_t kMaxDropEvents = 64;
inline constexpr size_t kMaxDropRules = 16;

enum class Status : int { kNotSubscribed = 0, kCollectionDisabled = 1, kUnavailable = 2, kSubscribed = 3 };

struct DropEvent {
  std::uint64_t timeUs = 0;
  std::uint64_t filterId = 0;
  std::uint32_t direction = 0;
  std::uint16_t layerId = 0;
  std::uint16_t localPort = 0;
  std::uint16_t remotePort = 0;
  std::uint8_t protocol = 0;
  bool resolverIsLocal = false;
};

struct Rule {
  std::uint64_t filterId = 0;
  std::uint64_t firstDropUs = 0;
  std::uint64_t lookupTimeUs = 0;
  std::string description;
};

struct State {
  explicit State(const WfpEngineApi& engineApi)
      : api(engineApi), deadline(std::chrono::steady_clock::now() + engineApi.collectionDeadline) {}

  const WfpEngineApi api;
  mutable std::mutex mutex;
  std::condition_variable wake;
  const std::chrono::steady_clock::time_point deadline;
  std::array<DropEvent, kMaxDropEvents> events{};
  std::array<Rule, kMaxDropRules> rules{};
  std::uint64_t eventCount = 0;
  std::uint64_t ruleCount = 0;
  std::uint64_t dropped = 0;
  std::uint64_t startedUs = 0;
  std::uint64_t endedUs = 0;
  std::uint32_t nativeErrorCode = 0;
  Status status = Status::kNotSubscribed;
  bool localSubscribed = false;
  bool remoteSubscribed = false;
  bool stopped = false;
  bool deadlineReached = false;
  bool rulesTruncated = false;
};

// The JSON value of a collection (the caller holds the mutex).
std::string DropStateJson(const State& state);

// Microseconds since 1970 now.
std::uint64_t WallClockUs() noexcept;

}  // namespace orv::dns
