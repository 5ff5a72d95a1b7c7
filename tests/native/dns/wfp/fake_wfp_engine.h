#pragma once
// A filtering-platform engine for tests: it holds filters, providers and
// sublayers, the net-event collection option and a source of net events that
// calls the subscribed callbacks on the threads of whoever delivers them. It
// records what it was asked and counts every allocation, free, close and
// unsubscribe; freeing a block it never handed out, or one already freed,
// fails the running test. One instance per process, reset by each test.

#include <atomic>
#include <chrono>
#include <functional>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "native/dns/wfp/wfp_engine_api.h"

namespace orv::test {

struct FakeFilter {
  GUID key = {};
  std::wstring name;
  bool hasName = true;
  bool hasProvider = false;
  GUID providerKey = {};
  GUID layerKey = {};
  GUID subLayerKey = {};
  UINT32 actionType = FWP_ACTION_BLOCK;
  GUID calloutKey = {};
  UINT32 conditionCount = 0;
  bool nullConditions = false;
  std::vector<FWPM_FILTER_CONDITION0> conditions;  // the caller keeps what they point to alive
  UINT32 flags = 0;
  FWP_DATA_TYPE weightType = FWP_UINT64;  // FWP_EMPTY: no effective weight
  bool nullWeight = false;
  UINT64 weight = 0;
};

// How one enumeration page goes wrong.
enum class PageAnomaly {
  kNone,
  kCountWithoutArray,  // entries returned, but no array
  kOverfull,           // one entry more than asked for
  kNullEntry,          // the first entry is null
};

struct FakeProvider {
  GUID key = {};
  std::wstring name;
  std::wstring serviceName;
};

struct FakeSublayer {
  GUID key = {};
  std::wstring name;
  bool hasProvider = false;
  GUID providerKey = {};
  UINT16 weight = 0;
};

struct RecordedEngineOpen {
  bool serverName = false;
  UINT32 authnService = 0;
  bool identity = false;
  bool session = false;
  UINT32 sessionFlags = 0;
};

struct RecordedSubscription {
  void* context = nullptr;
  std::vector<FWPM_FILTER_CONDITION0> conditions;
  FILETIME startTime = {};
  FILETIME endTime = {};
  UINT32 flags = 0;
};

class FakeWfpEngine {
 public:
  static FakeWfpEngine& Instance();

  // The table with every call answered by this engine.
  dns::WfpEngineApi Api(std::chrono::nanoseconds deadline = std::chrono::seconds(45)) const;
  void Reset();

  // What the engine answers (set before the collector starts).
  DWORD openResult = ERROR_SUCCESS;
  std::chrono::milliseconds openDelay{0};
  DWORD optionResult = ERROR_SUCCESS;
  FWP_DATA_TYPE optionType = FWP_UINT32;
  UINT32 optionValue = 1;
  DWORD localSubscribeResult = ERROR_SUCCESS;
  DWORD remoteSubscribeResult = ERROR_SUCCESS;
  std::chrono::milliseconds lookupDelay{0};

  // Filters are enumerated in the order they were first added, those of the
  // enumeration template's layer only.
  void AddFilter(std::uint64_t id, FakeFilter filter);
  void FailFilterLookup(std::uint64_t id, DWORD result);  // 0: success without a filter
  void FailFilterKeyLookup(const GUID& key, DWORD result);  // 0: success without a filter
  void AddProvider(FakeProvider provider);
  void FailProviderLookup(const GUID& key, DWORD result);
  void AddSublayer(FakeSublayer sublayer);
  void FailSublayerLookup(const GUID& key, DWORD result);

  // Calls, on the calling thread, every callback subscribed so far (also those
  // already unsubscribed, as the platform may) whose template the event
  // matches, with its own context.
  void Deliver(const FWPM_NET_EVENT2& event);
  // The same without looking at the templates.
  void DeliverToAll(const FWPM_NET_EVENT2& event);

  // Enumeration: failures, and an anomaly on one page (0-based).
  DWORD createEnumResult = ERROR_SUCCESS;
  DWORD enumResult = ERROR_SUCCESS;
  PageAnomaly anomaly = PageAnomaly::kNone;
  int anomalyPage = 0;
  // Application ids: the UTF-16 bytes of the path asked about, unless failed.
  DWORD selfAppIdResult = ERROR_SUCCESS;
  DWORD serviceHostAppIdResult = ERROR_SUCCESS;
  static std::vector<std::uint8_t> AppIdOf(const std::wstring& path);

  // What was asked.
  std::atomic<int> enumHandles{0};
  std::atomic<int> enumHandlesDestroyed{0};
  std::vector<UINT32> pageRequests;
  GUID enumLayer = {};
  UINT32 enumActionMask = 0;
  std::vector<std::wstring> appIdRequests;
  std::atomic<int> keyLookups{0};
  std::atomic<int> sublayerLookups{0};
  std::atomic<int> opens{0};
  std::atomic<int> closes{0};
  std::atomic<int> allocations{0};
  std::atomic<int> frees{0};
  std::atomic<int> subscriptions{0};
  std::atomic<int> unsubscribes{0};
  std::atomic<int> filterLookups{0};
  UINT32 lastSessionFlags = 0;
  std::vector<RecordedSubscription> RecordedSubscriptions() const;
  std::vector<RecordedEngineOpen> RecordedOpens() const;
  // Opens that named a server or an identity, or asked for other than Windows authentication.
  int OpensNotLocalWinnt() const;

  // Waits until every engine that was opened has been closed.
  bool WaitUntilAllClosed(std::chrono::milliseconds timeout) const;

 private:
  friend struct FakeCalls;
  struct Subscription {
    FWPM_NET_EVENT_CALLBACK1 callback;
    void* context;
    std::vector<FWPM_FILTER_CONDITION0> conditions;
  };
  void DeliverMatching(const FWPM_NET_EVENT2& event, bool filtered);

  mutable std::mutex mutex_;
  std::map<std::uint64_t, FakeFilter> filters_;
  std::vector<std::uint64_t> order_;
  std::map<std::uint64_t, DWORD> filterFailures_;
  std::vector<std::pair<GUID, DWORD>> filterKeyFailures_;
  size_t enumPosition_ = 0;
  int pagesServed_ = 0;
  std::vector<FakeProvider> providers_;
  std::vector<std::pair<GUID, DWORD>> providerFailures_;
  std::vector<FakeSublayer> sublayers_;
  std::vector<std::pair<GUID, DWORD>> sublayerFailures_;
  std::vector<Subscription> callbacks_;
  std::vector<RecordedSubscription> recorded_;
  std::vector<RecordedEngineOpen> recordedOpens_;
  std::map<void*, std::function<void()>> live_;  // block address -> its release
  std::uintptr_t nextHandle_ = 0x1000;
};

// A classify-drop event at the accelerator's DNS server (172.19.0.2:53), on
// its local or remote endpoint; tests change fields to make it not match.
struct TestDrop {
  TestDrop(bool local, std::uint8_t protocol, std::uint64_t filterId, std::uint64_t timeUs,
           std::uint32_t direction = 0);
  TestDrop(const TestDrop&) = delete;
  TestDrop& operator=(const TestDrop&) = delete;

  FWPM_NET_EVENT_CLASSIFY_DROP2 drop = {};
  FWPM_NET_EVENT2 event = {};
};

// FILETIME count of a wall-clock time in microseconds since 1970.
FILETIME FileTimeOfUs(std::uint64_t us);

}  // namespace orv::test
