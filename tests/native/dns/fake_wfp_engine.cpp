#include "tests/native/dns/fake_wfp_engine.h"

#include <thread>

#include "native/dns/wall_clock.h"

namespace orv::test {

namespace {

template <typename T>
void DeleteAs(void* p) {
  delete static_cast<T*>(p);
}

bool SameGuid(const GUID& a, const GUID& b) { return ::IsEqualGUID(a, b) != 0; }

}  // namespace

// The table's entries: plain functions over the one instance.
struct FakeCalls {
  static FakeWfpEngine& E() { return FakeWfpEngine::Instance(); }

  template <typename T>
  static T* Track(T* object) {
    FakeWfpEngine& e = E();
    std::lock_guard lock(e.mutex_);
    e.live_[object] = &DeleteAs<T>;
    ++e.allocations;
    return object;
  }

  static DWORD WINAPI Open(const wchar_t*, UINT32, SEC_WINNT_AUTH_IDENTITY_W*, const FWPM_SESSION0* session,
                           HANDLE* engine) {
    FakeWfpEngine& e = E();
    if (e.openDelay.count() > 0) std::this_thread::sleep_for(e.openDelay);
    std::lock_guard lock(e.mutex_);
    e.lastSessionFlags = session != nullptr ? session->flags : 0xFFFFFFFF;
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
    void (*deleter)(void*) = nullptr;
    {
      std::lock_guard lock(e.mutex_);
      const auto found = e.live_.find(*p);
      if (found == e.live_.end()) return;
      deleter = found->second;
      e.live_.erase(found);
    }
    deleter(*p);
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
    // The answer owns copies of everything it points to.
    struct Answer {
      FWPM_FILTER0 filter = {};
      std::wstring name;
      GUID providerKey = {};
      std::vector<FWPM_FILTER_CONDITION0> conditions;
    };
    auto* answer = new Answer();
    answer->name = def.name;
    answer->providerKey = def.providerKey;
    answer->conditions = def.conditions;
    answer->filter.filterKey = def.key;
    answer->filter.displayData.name = def.hasName ? answer->name.data() : nullptr;
    answer->filter.providerKey = def.hasProvider ? &answer->providerKey : nullptr;
    answer->filter.layerKey = def.layerKey;
    answer->filter.subLayerKey = def.subLayerKey;
    answer->filter.action.type = def.actionType;
    answer->filter.action.calloutKey = def.calloutKey;
    answer->filter.numFilterConditions =
        def.conditionCount != 0 ? def.conditionCount : static_cast<UINT32>(def.conditions.size());
    answer->filter.filterCondition = def.nullConditions ? nullptr : answer->conditions.data();
    answer->filter.filterId = id;
    Track(answer);
    *filter = &answer->filter;  // first member: the block's own address
    return ERROR_SUCCESS;
  }

  template <typename Def>
  static DWORD Find(const std::vector<Def>& defs, const std::vector<std::pair<GUID, DWORD>>& failures, const GUID& key,
                    DWORD notFound, Def& out) {
    for (const auto& failure : failures) {
      if (SameGuid(failure.first, key)) return failure.second == ERROR_SUCCESS ? ERROR_NO_DATA : failure.second;
    }
    for (const auto& def : defs) {
      if (SameGuid(def.key, key)) {
        out = def;
        return ERROR_SUCCESS;
      }
    }
    return notFound;
  }

  static DWORD WINAPI ProviderByKey(HANDLE, const GUID* key, FWPM_PROVIDER0** provider) {
    FakeWfpEngine& e = E();
    FakeProvider def;
    DWORD result;
    {
      std::lock_guard lock(e.mutex_);
      result = Find(e.providers_, e.providerFailures_, *key, 0x80320005, def);
    }
    *provider = nullptr;
    if (result == ERROR_NO_DATA) return ERROR_SUCCESS;  // success that returns nothing
    if (result != ERROR_SUCCESS) return result;
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
    FakeSublayer def;
    DWORD result;
    {
      std::lock_guard lock(e.mutex_);
      result = Find(e.sublayers_, e.sublayerFailures_, *key, 0x80320007, def);
    }
    *sublayer = nullptr;
    if (result == ERROR_NO_DATA) return ERROR_SUCCESS;
    if (result != ERROR_SUCCESS) return result;
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

WfpEngineApi FakeWfpEngine::Api(std::chrono::nanoseconds deadline) const {
  WfpEngineApi api;
  api.FwpmEngineOpen0 = &FakeCalls::Open;
  api.FwpmEngineClose0 = &FakeCalls::Close;
  api.FwpmFreeMemory0 = &FakeCalls::Free;
  api.FwpmEngineGetOption0 = &FakeCalls::GetOption;
  api.FwpmFilterGetById0 = &FakeCalls::FilterById;
  api.FwpmProviderGetByKey0 = &FakeCalls::ProviderByKey;
  api.FwpmSubLayerGetByKey0 = &FakeCalls::SublayerByKey;
  api.FwpmNetEventSubscribe1 = &FakeCalls::Subscribe;
  api.FwpmNetEventUnsubscribe0 = &FakeCalls::Unsubscribe;
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
  filterFailures_.clear();
  providers_.clear();
  providerFailures_.clear();
  sublayers_.clear();
  sublayerFailures_.clear();
  callbacks_.clear();
  recorded_.clear();
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
  filters_[id] = std::move(filter);
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

bool FakeWfpEngine::WaitUntilAllClosed(std::chrono::milliseconds timeout) const {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < until) {
    if (closes.load() == opens.load()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return closes.load() == opens.load();
}

FILETIME FileTimeOfUs(std::uint64_t us) {
  const std::uint64_t value = us * 10 + dns::kFileTimeOf1970;
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
