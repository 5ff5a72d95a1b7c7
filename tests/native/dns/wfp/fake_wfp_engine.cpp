#include "tests/native/dns/wfp/fake_wfp_engine.h"

#include <gtest/gtest.h>

#include <rpcdce.h>

#include <algorithm>
#include <deque>
#include <thread>

#include "native/common/wall_clock.h"

namespace orv::test {

namespace {

bool SameGuid(const GUID& a, const GUID& b) { return ::IsEqualGUID(a, b) != 0; }

// A filter as the engine hands it out: it owns copies of everything it points to.
struct FilterAnswer {
  FWPM_FILTER0 filter = {};
  std::wstring name;
  GUID providerKey = {};
  UINT64 weight = 0;
  std::vector<FWPM_FILTER_CONDITION0> conditions;

  FilterAnswer(std::uint64_t id, const FakeFilter& def)
      : name(def.name), providerKey(def.providerKey), weight(def.weight), conditions(def.conditions) {
    filter.filterKey = def.key;
    filter.displayData.name = def.hasName ? name.data() : nullptr;
    filter.flags = def.flags;
    filter.providerKey = def.hasProvider ? &providerKey : nullptr;
    filter.layerKey = def.layerKey;
    filter.subLayerKey = def.subLayerKey;
    filter.action.type = def.actionType;
    filter.action.calloutKey = def.calloutKey;
    filter.numFilterConditions =
        def.conditionCount != 0 ? def.conditionCount : static_cast<UINT32>(def.conditions.size());
    filter.filterCondition = def.nullConditions ? nullptr : conditions.data();
    filter.filterId = id;
    filter.effectiveWeight.type = def.weightType;
    if (def.weightType == FWP_UINT64) filter.effectiveWeight.uint64 = def.nullWeight ? nullptr : &weight;
  }
  // It points into itself.
  FilterAnswer(const FilterAnswer&) = delete;
  FilterAnswer& operator=(const FilterAnswer&) = delete;
};

// One enumeration page: the array of pointers is the block handed out.
struct FilterPage {
  std::deque<FilterAnswer> answers;  // never moved once made
  std::vector<FWPM_FILTER0*> entries;
};

}  // namespace

// The table's entries: plain functions over the one instance.
struct FakeCalls {
  static FakeWfpEngine& E() { return FakeWfpEngine::Instance(); }

  // The block handed out is at `address`; freeing it deletes `object`.
  template <typename T>
  static T* Track(T* object, void* address = nullptr) {
    FakeWfpEngine& e = E();
    std::lock_guard lock(e.mutex_);
    e.live_[address != nullptr ? address : object] = [object] { delete object; };
    ++e.allocations;
    return object;
  }

  static DWORD WINAPI Open(const wchar_t* server, UINT32 authnService, SEC_WINNT_AUTH_IDENTITY_W* identity,
                           const FWPM_SESSION0* session, HANDLE* engine) {
    FakeWfpEngine& e = E();
    if (e.openDelay.count() > 0) std::this_thread::sleep_for(e.openDelay);
    std::lock_guard lock(e.mutex_);
    e.lastSessionFlags = session != nullptr ? session->flags : 0xFFFFFFFF;
    e.recordedOpens_.push_back({server != nullptr, authnService, identity != nullptr, session != nullptr,
                                session != nullptr ? session->flags : 0});
    if (e.openResult != ERROR_SUCCESS) return e.openResult;
    ++e.opens;
    *engine = reinterpret_cast<HANDLE>(e.nextHandle_++);
    return ERROR_SUCCESS;
  }

  static DWORD WINAPI Close(HANDLE) {
    ++E().closes;
    return ERROR_SUCCESS;
  }

  static void WINAPI Free(void** p) {
    if (p == nullptr || *p == nullptr) return;
    FakeWfpEngine& e = E();
    std::function<void()> deleter;
    {
      std::lock_guard lock(e.mutex_);
      const auto found = e.live_.find(*p);
      if (found == e.live_.end()) {
        ADD_FAILURE() << "FwpmFreeMemory0 of a block the engine does not hold (never handed out, or freed already)";
        return;
      }
      deleter = found->second;
      e.live_.erase(found);
    }
    deleter();
    *p = nullptr;
    ++e.frees;
  }

  static DWORD WINAPI GetOption(HANDLE, FWPM_ENGINE_OPTION option, FWP_VALUE0** value) {
    FakeWfpEngine& e = E();
    if (option != FWPM_ENGINE_COLLECT_NET_EVENTS) return ERROR_INVALID_PARAMETER;
    if (e.optionResult != ERROR_SUCCESS) return e.optionResult;
    auto* answer = new FWP_VALUE0();
    answer->type = e.optionType;
    answer->uint32 = e.optionValue;
    *value = Track(answer);
    return ERROR_SUCCESS;
  }

  static DWORD WINAPI FilterById(HANDLE, UINT64 id, FWPM_FILTER0** filter) {
    FakeWfpEngine& e = E();
    ++e.filterLookups;
    if (e.lookupDelay.count() > 0) std::this_thread::sleep_for(e.lookupDelay);
    FakeFilter def;
    {
      std::lock_guard lock(e.mutex_);
      const auto failure = e.filterFailures_.find(id);
      if (failure != e.filterFailures_.end()) {
        *filter = nullptr;
        return failure->second;
      }
      const auto found = e.filters_.find(id);
      if (found == e.filters_.end()) return 0x80320003;
      def = found->second;
    }
    auto* answer = new FilterAnswer(id, def);
    Track(answer);
    *filter = &answer->filter;  // first member: the block's own address
    return ERROR_SUCCESS;
  }

  static DWORD WINAPI FilterByKey(HANDLE, const GUID* key, FWPM_FILTER0** filter) {
    FakeWfpEngine& e = E();
    ++e.keyLookups;
    *filter = nullptr;
    std::uint64_t id = 0;
    FakeFilter def;
    {
      std::lock_guard lock(e.mutex_);
      for (const auto& failure : e.filterKeyFailures_) {
        if (SameGuid(failure.first, *key)) return failure.second;
      }
      const auto found = std::find_if(e.filters_.begin(), e.filters_.end(),
                                      [&](const auto& entry) { return SameGuid(entry.second.key, *key); });
      if (found == e.filters_.end()) return 0x80320003;
      id = found->first;
      def = found->second;
    }
    auto* answer = new FilterAnswer(id, def);
    Track(answer);
    *filter = &answer->filter;
    return ERROR_SUCCESS;
  }

  static DWORD WINAPI CreateEnum(HANDLE, const FWPM_FILTER_ENUM_TEMPLATE0* wanted, HANDLE* enumeration) {
    FakeWfpEngine& e = E();
    std::lock_guard lock(e.mutex_);
    e.enumLayer = wanted->layerKey;
    e.enumActionMask = wanted->actionMask;
    if (e.createEnumResult != ERROR_SUCCESS) return e.createEnumResult;
    ++e.enumHandles;
    e.enumPosition_ = 0;
    e.pagesServed_ = 0;
    *enumeration = reinterpret_cast<HANDLE>(e.nextHandle_++);
    return ERROR_SUCCESS;
  }

  static DWORD WINAPI DestroyEnum(HANDLE, HANDLE) {
    ++E().enumHandlesDestroyed;
    return ERROR_SUCCESS;
  }

  static DWORD WINAPI Enumerate(HANDLE, HANDLE, UINT32 requested, FWPM_FILTER0*** entries, UINT32* returned) {
    FakeWfpEngine& e = E();
    *entries = nullptr;
    *returned = 0;
    auto* page = new FilterPage();
    {
      std::lock_guard lock(e.mutex_);
      e.pageRequests.push_back(requested);
      const int number = e.pagesServed_++;
      if (e.enumResult != ERROR_SUCCESS && number == e.anomalyPage) {
        delete page;
        return e.enumResult;
      }
      const PageAnomaly anomaly = number == e.anomalyPage ? e.anomaly : PageAnomaly::kNone;
      const size_t wanted = requested + (anomaly == PageAnomaly::kOverfull ? 1 : 0);
      while (page->answers.size() < wanted && e.enumPosition_ < e.order_.size()) {
        const std::uint64_t id = e.order_[e.enumPosition_++];
        const FakeFilter& filter = e.filters_.at(id);
        if (SameGuid(filter.layerKey, e.enumLayer)) page->answers.emplace_back(id, filter);
      }
      for (FilterAnswer& answer : page->answers) page->entries.push_back(&answer.filter);
      *returned = static_cast<UINT32>(page->entries.size());
      if (anomaly == PageAnomaly::kNullEntry && !page->entries.empty()) page->entries[0] = nullptr;
      if (anomaly == PageAnomaly::kCountWithoutArray || page->entries.empty()) {
        delete page;
        return ERROR_SUCCESS;
      }
    }
    Track(page, page->entries.data());
    *entries = page->entries.data();
    return ERROR_SUCCESS;
  }

  static DWORD WINAPI AppIdFromFileName(const wchar_t* fileName, FWP_BYTE_BLOB** appId) {
    FakeWfpEngine& e = E();
    const std::wstring path = fileName;
    *appId = nullptr;
    {
      std::lock_guard lock(e.mutex_);
      e.appIdRequests.push_back(path);
    }
    const bool serviceHost = path.size() > 12 && path.compare(path.size() - 12, 12, L"\\svchost.exe") == 0;
    const DWORD result = serviceHost ? e.serviceHostAppIdResult : e.selfAppIdResult;
    if (result != ERROR_SUCCESS) return result;
    struct Answer {
      FWP_BYTE_BLOB blob = {};
      std::vector<std::uint8_t> bytes;
    };
    auto* answer = new Answer();
    answer->bytes = FakeWfpEngine::AppIdOf(path);
    answer->blob.size = static_cast<UINT32>(answer->bytes.size());
    answer->blob.data = answer->bytes.data();
    Track(answer);
    *appId = &answer->blob;
    return ERROR_SUCCESS;
  }

  // The engine's answer for a key; `found` stays false for a success without a value.
  template <typename Def>
  static DWORD Find(const std::vector<Def>& defs, const std::vector<std::pair<GUID, DWORD>>& failures, const GUID& key,
                    DWORD notFound, Def& out, bool& found) {
    found = false;
    for (const auto& failure : failures) {
      if (SameGuid(failure.first, key)) return failure.second;
    }
    for (const auto& def : defs) {
      if (SameGuid(def.key, key)) {
        out = def;
        found = true;
        return ERROR_SUCCESS;
      }
    }
    return notFound;
  }

  static DWORD WINAPI ProviderByKey(HANDLE, const GUID* key, FWPM_PROVIDER0** provider) {
    FakeWfpEngine& e = E();
    FakeProvider def;
    DWORD result;
    bool found = false;
    {
      std::lock_guard lock(e.mutex_);
      result = Find(e.providers_, e.providerFailures_, *key, 0x80320005, def, found);
    }
    *provider = nullptr;
    if (result != ERROR_SUCCESS || !found) return result;
    struct Answer {
      FWPM_PROVIDER0 provider = {};
      std::wstring name;
      std::wstring serviceName;
    };
    auto* answer = new Answer();
    answer->name = def.name;
    answer->serviceName = def.serviceName;
    answer->provider.providerKey = def.key;
    answer->provider.displayData.name = answer->name.empty() ? nullptr : answer->name.data();
    answer->provider.serviceName = answer->serviceName.empty() ? nullptr : answer->serviceName.data();
    Track(answer);
    *provider = &answer->provider;
    return ERROR_SUCCESS;
  }

  static DWORD WINAPI SublayerByKey(HANDLE, const GUID* key, FWPM_SUBLAYER0** sublayer) {
    FakeWfpEngine& e = E();
    ++e.sublayerLookups;
    FakeSublayer def;
    DWORD result;
    bool found = false;
    {
      std::lock_guard lock(e.mutex_);
      result = Find(e.sublayers_, e.sublayerFailures_, *key, 0x80320007, def, found);
    }
    *sublayer = nullptr;
    if (result != ERROR_SUCCESS || !found) return result;
    struct Answer {
      FWPM_SUBLAYER0 sublayer = {};
      std::wstring name;
      GUID providerKey = {};
    };
    auto* answer = new Answer();
    answer->name = def.name;
    answer->providerKey = def.providerKey;
    answer->sublayer.subLayerKey = def.key;
    answer->sublayer.displayData.name = answer->name.empty() ? nullptr : answer->name.data();
    answer->sublayer.providerKey = def.hasProvider ? &answer->providerKey : nullptr;
    answer->sublayer.weight = def.weight;
    Track(answer);
    *sublayer = &answer->sublayer;
    return ERROR_SUCCESS;
  }

  static DWORD WINAPI Subscribe(HANDLE, const FWPM_NET_EVENT_SUBSCRIPTION0* subscription,
                                FWPM_NET_EVENT_CALLBACK1 callback, void* context, HANDLE* events) {
    FakeWfpEngine& e = E();
    std::lock_guard lock(e.mutex_);
    RecordedSubscription record;
    record.context = context;
    record.flags = subscription->flags;
    const FWPM_NET_EVENT_ENUM_TEMPLATE0* t = subscription->enumTemplate;
    if (t != nullptr) {
      record.startTime = t->startTime;
      record.endTime = t->endTime;
      record.conditions.assign(t->filterCondition, t->filterCondition + t->numFilterConditions);
    }
    e.recorded_.push_back(record);
    const bool local = !record.conditions.empty() &&
                       SameGuid(record.conditions[0].fieldKey, FWPM_CONDITION_IP_LOCAL_ADDRESS);
    const DWORD result = local ? e.localSubscribeResult : e.remoteSubscribeResult;
    if (result != ERROR_SUCCESS) return result;
    ++e.subscriptions;
    e.callbacks_.push_back({callback, context, record.conditions});
    *events = reinterpret_cast<HANDLE>(e.nextHandle_++);
    return ERROR_SUCCESS;
  }

  static DWORD WINAPI Unsubscribe(HANDLE, HANDLE) {
    ++E().unsubscribes;
    return ERROR_SUCCESS;
  }
};

FakeWfpEngine& FakeWfpEngine::Instance() {
  static auto* engine = new FakeWfpEngine();  // outlives detached workers
  return *engine;
}

dns::WfpEngineApi FakeWfpEngine::Api(std::chrono::nanoseconds deadline) const {
  dns::WfpEngineApi api;
  api.FwpmEngineOpen0 = &FakeCalls::Open;
  api.FwpmEngineClose0 = &FakeCalls::Close;
  api.FwpmFreeMemory0 = &FakeCalls::Free;
  api.FwpmEngineGetOption0 = &FakeCalls::GetOption;
  api.FwpmFilterGetById0 = &FakeCalls::FilterById;
  api.FwpmProviderGetByKey0 = &FakeCalls::ProviderByKey;
  api.FwpmSubLayerGetByKey0 = &FakeCalls::SublayerByKey;
  api.FwpmNetEventSubscribe1 = &FakeCalls::Subscribe;
  api.FwpmNetEventUnsubscribe0 = &FakeCalls::Unsubscribe;
  api.FwpmFilterCreateEnumHandle0 = &FakeCalls::CreateEnum;
  api.FwpmFilterEnum0 = &FakeCalls::Enumerate;
  api.FwpmFilterDestroyEnumHandle0 = &FakeCalls::DestroyEnum;
  api.FwpmFilterGetByKey0 = &FakeCalls::FilterByKey;
  api.FwpmGetAppIdFromFileName0 = &FakeCalls::AppIdFromFileName;
  api.collectionDeadline = deadline;
  return api;
}

void FakeWfpEngine::Reset() {
  std::lock_guard lock(mutex_);
  openResult = ERROR_SUCCESS;
  openDelay = std::chrono::milliseconds(0);
  optionResult = ERROR_SUCCESS;
  optionType = FWP_UINT32;
  optionValue = 1;
  localSubscribeResult = ERROR_SUCCESS;
  remoteSubscribeResult = ERROR_SUCCESS;
  lookupDelay = std::chrono::milliseconds(0);
  filters_.clear();
  order_.clear();
  filterFailures_.clear();
  filterKeyFailures_.clear();
  enumPosition_ = 0;
  pagesServed_ = 0;
  createEnumResult = ERROR_SUCCESS;
  enumResult = ERROR_SUCCESS;
  anomaly = PageAnomaly::kNone;
  anomalyPage = 0;
  selfAppIdResult = ERROR_SUCCESS;
  serviceHostAppIdResult = ERROR_SUCCESS;
  enumHandles = 0;
  enumHandlesDestroyed = 0;
  pageRequests.clear();
  enumLayer = {};
  enumActionMask = 0;
  appIdRequests.clear();
  keyLookups = 0;
  sublayerLookups = 0;
  providers_.clear();
  providerFailures_.clear();
  sublayers_.clear();
  sublayerFailures_.clear();
  callbacks_.clear();
  recorded_.clear();
  recordedOpens_.clear();
  opens = 0;
  closes = 0;
  allocations = 0;
  frees = 0;
  subscriptions = 0;
  unsubscribes = 0;
  filterLookups = 0;
  lastSessionFlags = 0;
}

void FakeWfpEngine::AddFilter(std::uint64_t id, FakeFilter filter) {
  std::lock_guard lock(mutex_);
  if (filters_.count(id) == 0) order_.push_back(id);
  filters_[id] = std::move(filter);
}

void FakeWfpEngine::FailFilterKeyLookup(const GUID& key, DWORD result) {
  std::lock_guard lock(mutex_);
  filterKeyFailures_.emplace_back(key, result);
}

std::vector<std::uint8_t> FakeWfpEngine::AppIdOf(const std::wstring& path) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(path.data());
  return std::vector<std::uint8_t>(bytes, bytes + path.size() * sizeof(wchar_t));
}

void FakeWfpEngine::FailFilterLookup(std::uint64_t id, DWORD result) {
  std::lock_guard lock(mutex_);
  filterFailures_[id] = result;
}

void FakeWfpEngine::AddProvider(FakeProvider provider) {
  std::lock_guard lock(mutex_);
  providers_.push_back(std::move(provider));
}

void FakeWfpEngine::FailProviderLookup(const GUID& key, DWORD result) {
  std::lock_guard lock(mutex_);
  providerFailures_.emplace_back(key, result);
}

void FakeWfpEngine::AddSublayer(FakeSublayer sublayer) {
  std::lock_guard lock(mutex_);
  sublayers_.push_back(std::move(sublayer));
}

void FakeWfpEngine::FailSublayerLookup(const GUID& key, DWORD result) {
  std::lock_guard lock(mutex_);
  sublayerFailures_.emplace_back(key, result);
}

namespace {

// The template conditions the collector uses, as the platform applies them.
bool MatchesTemplate(const std::vector<FWPM_FILTER_CONDITION0>& conditions, const FWPM_NET_EVENT2& event) {
  const FWPM_NET_EVENT_HEADER2& h = event.header;
  for (const auto& c : conditions) {
    const FWP_CONDITION_VALUE0& v = c.conditionValue;
    if (SameGuid(c.fieldKey, FWPM_CONDITION_IP_LOCAL_ADDRESS) && h.localAddrV4 != v.uint32) return false;
    if (SameGuid(c.fieldKey, FWPM_CONDITION_IP_REMOTE_ADDRESS) && h.remoteAddrV4 != v.uint32) return false;
    if (SameGuid(c.fieldKey, FWPM_CONDITION_IP_LOCAL_PORT) && h.localPort != v.uint16) return false;
    if (SameGuid(c.fieldKey, FWPM_CONDITION_IP_REMOTE_PORT) && h.remotePort != v.uint16) return false;
    if (SameGuid(c.fieldKey, FWPM_CONDITION_NET_EVENT_TYPE) && static_cast<UINT32>(event.type) != v.uint32) {
      return false;
    }
  }
  return true;
}

}  // namespace

void FakeWfpEngine::Deliver(const FWPM_NET_EVENT2& event) { DeliverMatching(event, true); }

void FakeWfpEngine::DeliverToAll(const FWPM_NET_EVENT2& event) { DeliverMatching(event, false); }

void FakeWfpEngine::DeliverMatching(const FWPM_NET_EVENT2& event, bool filtered) {
  std::vector<Subscription> callbacks;
  {
    std::lock_guard lock(mutex_);
    callbacks = callbacks_;
  }
  for (const auto& subscription : callbacks) {
    if (!filtered || MatchesTemplate(subscription.conditions, event)) {
      subscription.callback(subscription.context, &event);
    }
  }
}

std::vector<RecordedSubscription> FakeWfpEngine::RecordedSubscriptions() const {
  std::lock_guard lock(mutex_);
  return recorded_;
}

std::vector<RecordedEngineOpen> FakeWfpEngine::RecordedOpens() const {
  std::lock_guard lock(mutex_);
  return recordedOpens_;
}

int FakeWfpEngine::OpensNotLocalWinnt() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(recordedOpens_.begin(), recordedOpens_.end(), [](const RecordedEngineOpen& o) {
    return o.serverName || o.identity || o.authnService != RPC_C_AUTHN_WINNT;
  }));
}

bool FakeWfpEngine::WaitUntilAllClosed(std::chrono::milliseconds timeout) const {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < until) {
    if (closes.load() == opens.load()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return closes.load() == opens.load();
}

FILETIME FileTimeOfUs(std::uint64_t us) {
  const std::uint64_t value = us * 10 + kFileTimeOf1970;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value);
  time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return time;
}

TestDrop::TestDrop(bool local, std::uint8_t protocol, std::uint64_t filterId, std::uint64_t timeUs,
                   std::uint32_t direction) {
  drop.filterId = filterId;
  drop.layerId = 48;
  drop.msFwpDirection = direction;
  event.type = FWPM_NET_EVENT_TYPE_CLASSIFY_DROP;
  event.classifyDrop = &drop;
  FWPM_NET_EVENT_HEADER2& header = event.header;
  header.timeStamp = FileTimeOfUs(timeUs);
  header.flags = FWPM_NET_EVENT_FLAG_IP_PROTOCOL_SET | FWPM_NET_EVENT_FLAG_IP_VERSION_SET |
                 FWPM_NET_EVENT_FLAG_LOCAL_ADDR_SET | FWPM_NET_EVENT_FLAG_REMOTE_ADDR_SET |
                 FWPM_NET_EVENT_FLAG_LOCAL_PORT_SET | FWPM_NET_EVENT_FLAG_REMOTE_PORT_SET;
  header.ipVersion = FWP_IP_VERSION_V4;
  header.ipProtocol = protocol;
  // The other end is the client at 172.19.0.1 on port 50000.
  header.localAddrV4 = local ? 0xAC130002 : 0xAC130001;
  header.remoteAddrV4 = local ? 0xAC130001 : 0xAC130002;
  header.localPort = local ? 53 : 50000;
  header.remotePort = local ? 50000 : 53;
}

}  // namespace orv::test
