#pragma once
// DNS client events built in a test: each record's UserData points at the
// event's properties, which the fake trace data helper answers from, as the
// platform would from the provider's manifest.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "native/dns/trace/tdh_api.h"

namespace orv::test {

struct FakeProperty {
  std::vector<BYTE> bytes;
  ULONG reportedSize = 0;  // what the size query answers
  ULONG sizeResult = ERROR_SUCCESS;
  ULONG readResult = ERROR_SUCCESS;
  bool throwsOnRead = false;
};

class FakeClientEvent {
 public:
  // Event 3009..3020 at 2024-01-01 00:00:00 UTC, from process 4321.
  explicit FakeClientEvent(USHORT id, const std::wstring& queryName = L"example.org");
  FakeClientEvent(const FakeClientEvent& other);
  FakeClientEvent& operator=(const FakeClientEvent&) = delete;

  FakeClientEvent& Text(const std::wstring& name, const std::wstring& value);  // with its NUL
  FakeClientEvent& Number(const std::wstring& name, std::uint32_t value);
  FakeClientEvent& Bytes(const std::wstring& name, std::vector<BYTE> bytes);
  FakeClientEvent& Remove(const std::wstring& name);
  FakeProperty& Property(const std::wstring& name) { return properties_[name]; }

  EVENT_RECORD& record() { return record_; }
  const EVENT_RECORD& record() const { return record_; }

  // Lookups made for a property with a wrong descriptor (not the whole
  // property, or more than one descriptor).
  static int BadDescriptorCount();
  // Every property lookup so far, in any event.
  static int LookupCount();

 private:
  friend struct FakeTdhCalls;
  EVENT_RECORD record_ = {};
  std::map<std::wstring, FakeProperty> properties_;
};

// The table that answers from the record's FakeClientEvent.
dns::TdhApi FakeTdh();

// 2024-01-01 00:00:00 UTC as a FILETIME count, and in microseconds since 1970.
inline constexpr std::uint64_t kEventFileTime = 133485408000000000ULL;
inline constexpr std::uint64_t kEventTimeUs = 1704067200000000ULL;
inline constexpr DWORD kEventProcessId = 4321;

}  // namespace orv::test
