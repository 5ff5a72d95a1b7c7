#include "native/dns/wfp/wfp_drop_collector.h"

#include <rpcdce.h>

#include <process.h>

#include <cstdint>
#include <memory>
#include <new>

#include "native/common/system_wall_clock.h"
#include "native/common/unique_resource.h"
#include "native/common/wall_clock.h"
#include "native/dns/wfp/wfp_drop_state.h"
#include "native/dns/wfp/wfp_filter_description.h"

namespace orv::dns {

namespace {

constexpr UINT32 kDnsServerAddress = 0xAC130002;  // 172.19.0.2, host order
constexpr UINT16 kDnsServerPort = 53;
constexpr UINT32 kEndpointFlags = FWPM_NET_EVENT_FLAG_IP_PROTOCOL_SET | FWPM_NET_EVENT_FLAG_IP_VERSION_SET;

// The newest subscription: callbacks for older ones carry an old generation.
struct SubscriptionRegistry {
  std::mutex mutex;
  std::uint64_t generation = 0;
  std::weak_ptr<State> current;
};

SubscriptionRegistry& Registry() {
  // Never destroyed: platform callbacks may still arrive while the process exits.
  static auto* registry = new SubscriptionRegistry();
  return *registry;
}

// Conditions and template of one endpoint's subscription.
struct EndpointSubscription {
  EndpointSubscription(const GUID& addressField, const GUID& portField) {
    conditions[0].fieldKey = addressField;
    conditions[0].matchType = FWP_MATCH_EQUAL;
    conditions[0].conditionValue.type = FWP_UINT32;
    conditions[0].conditionValue.uint32 = kDnsServerAddress;
    conditions[1].fieldKey = portField;
    conditions[1].matchType = FWP_MATCH_EQUAL;
    conditions[1].conditionValue.type = FWP_UINT16;
    conditions[1].conditionValue.uint16 = kDnsServerPort;
    conditions[2].fieldKey = FWPM_CONDITION_NET_EVENT_TYPE;
    conditions[2].matchType = FWP_MATCH_EQUAL;
    conditions[2].conditionValue.type = FWP_UINT32;
    conditions[2].conditionValue.uint32 = FWPM_NET_EVENT_TYPE_CLASSIFY_DROP;
    enumTemplate.numFilterConditions = 3;
    enumTemplate.filterCondition = conditions;
    subscription.enumTemplate = &enumTemplate;
  }
  EndpointSubscription(const EndpointSubscription&) = delete;
  EndpointSubscription& operator=(const EndpointSubscription&) = delete;

  FWPM_FILTER_CONDITION0 conditions[3] = {};
  FWPM_NET_EVENT_ENUM_TEMPLATE0 enumTemplate = {};
  FWPM_NET_EVENT_SUBSCRIPTION0 subscription = {};
};

[[nodiscard]] DWORD Subscribe(const WfpEngineApi& api, HANDLE engine, const EndpointSubscription& endpoint, std::uint64_t id,
                              HANDLE* events) {
  if (api.FwpmNetEventSubscribe1 == nullptr) return ERROR_PROC_NOT_FOUND;
  return api.FwpmNetEventSubscribe1(engine, &endpoint.subscription, &OnNetEvent,
                                    reinterpret_cast<void*>(static_cast<std::uintptr_t>(id)), events);
}

void Unsubscribe(const WfpEngineApi& api, HANDLE engine, HANDLE events) noexcept {
  if (events != nullptr && api.FwpmNetEventUnsubscribe0 != nullptr) api.FwpmNetEventUnsubscribe0(engine, events);
}

void Fail(State& state, DWORD code) {
  std::lock_guard lock(state.mutex);
  state.status = Status::kUnavailable;
  state.nativeErrorCode = code;
}

// Steps 2-3 of the worker: false when collection must not go on.
bool CollectionEnabled(State& state, HANDLE engine) {
  WfpMemory<FWP_VALUE0> option(state.api);
  const DWORD result = state.api.FwpmEngineGetOption0(engine, FWPM_ENGINE_COLLECT_NET_EVENTS, option.put());
  if (result != ERROR_SUCCESS) {
    Fail(state, result);
    return false;
  }
  if (!option || option->type != FWP_UINT32) {
    Fail(state, ERROR_INVALID_DATA);
    return false;
  }
  if (option->uint32 != 1) {
    std::lock_guard lock(state.mutex);
    state.status = Status::kCollectionDisabled;
    return false;
  }
  return true;
}

// Describes each new rule, one at a time, with the mutex released.
void LookUpRules(State& state, HANDLE engine) {
  std::unique_lock lock(state.mutex);
  for (std::uint64_t next = 0;;) {
    while (!state.stopped && next >= state.ruleCount) {
      if (state.wake.wait_until(lock, state.deadline) == std::cv_status::timeout) break;
    }
    if (state.stopped) return;
    if (std::chrono::steady_clock::now() >= state.deadline) {
      state.stopped = true;
      state.deadlineReached = true;
      state.endedUs = WallClockUs();
      return;
    }
    if (next >= state.ruleCount) continue;
    const std::uint64_t filterId = state.rules[next].filterId;
    const std::uint64_t lookupTimeUs = WallClockUs();
    lock.unlock();
    std::string description = DescribeWfpFilter(state.api, engine, filterId);
    lock.lock();
    state.rules[next].lookupTimeUs = lookupTimeUs;
    state.rules[next].description = std::move(description);
    ++next;
  }
}

void Collect(const std::shared_ptr<State>& shared) {
  State& state = *shared;
  const WfpEngineApi& api = state.api;
  WfpEngineSession engine(api);
  FWPM_SESSION0 session = {};
  session.flags = FWPM_SESSION_FLAG_DYNAMIC;
  const DWORD opened = api.FwpmEngineOpen0(nullptr, RPC_C_AUTHN_WINNT, nullptr, &session, engine.put());
  if (opened != ERROR_SUCCESS) {
    Fail(state, opened);
    return;
  }
  if (!CollectionEnabled(state, engine.get())) return;

  std::uint64_t id = 0;
  {
    std::lock_guard lock(state.mutex);
    if (state.stopped || std::chrono::steady_clock::now() >= state.deadline) return;
    SubscriptionRegistry& registry = Registry();
    std::lock_guard registryLock(registry.mutex);
    if (++registry.generation == 0) registry.generation = 1;
    id = registry.generation;
    registry.current = shared;
    state.startedUs = WallClockUs();
  }

  HANDLE localEvents = nullptr;
  HANDLE remoteEvents = nullptr;
  struct Cleanup {
    const WfpEngineApi& api;
    HANDLE engine;
    std::uint64_t id;
    HANDLE& local;
    HANDLE& remote;
    ~Cleanup() {
      SubscriptionRegistry& registry = Registry();
      {
        std::lock_guard registryLock(registry.mutex);
        if (registry.generation == id) registry.current.reset();
      }
      Unsubscribe(api, engine, local);
      Unsubscribe(api, engine, remote);
    }
  } cleanup{api, engine.get(), id, localEvents, remoteEvents};

  const EndpointSubscription local(FWPM_CONDITION_IP_LOCAL_ADDRESS, FWPM_CONDITION_IP_LOCAL_PORT);
  const EndpointSubscription remote(FWPM_CONDITION_IP_REMOTE_ADDRESS, FWPM_CONDITION_IP_REMOTE_PORT);
  const DWORD localResult = Subscribe(api, engine.get(), local, id, &localEvents);
  if (localResult != ERROR_SUCCESS) localEvents = nullptr;
  const DWORD remoteResult = Subscribe(api, engine.get(), remote, id, &remoteEvents);
  if (remoteResult != ERROR_SUCCESS) remoteEvents = nullptr;
  {
    std::lock_guard lock(state.mutex);
    state.localSubscribed = localResult == ERROR_SUCCESS;
    state.remoteSubscribed = remoteResult == ERROR_SUCCESS;
    state.nativeErrorCode = localResult != ERROR_SUCCESS ? localResult : remoteResult;
    if (!state.localSubscribed && !state.remoteSubscribed) {
      state.status = Status::kUnavailable;
      return;
    }
    state.status = Status::kSubscribed;
  }
  LookUpRules(state, engine.get());
}

// The worker's entry: owns the reference to the state it was handed.
unsigned __stdcall Work(void* parameter) noexcept {
  const std::unique_ptr<std::shared_ptr<State>> reference(static_cast<std::shared_ptr<State>*>(parameter));
  const std::shared_ptr<State>& shared = *reference;
  try {
    Collect(shared);
  } catch (...) {
    try {
      Fail(*shared, ERROR_GEN_FAILURE);
    } catch (...) {
    }
  }
  return 0;
}

bool Matches(const FWPM_NET_EVENT_HEADER2& header, UINT32 addressFlag, UINT32 portFlag, UINT32 address,
             UINT16 port) noexcept {
  return (header.flags & addressFlag) != 0 && (header.flags & portFlag) != 0 && address == kDnsServerAddress &&
         port == kDnsServerPort;
}

// False for events that are not an IPv4 TCP or UDP drop at the DNS server.
bool ToDropEvent(const FWPM_NET_EVENT2& event, DropEvent& record) noexcept {
  if (event.type != FWPM_NET_EVENT_TYPE_CLASSIFY_DROP || event.classifyDrop == nullptr) return false;
  const FWPM_NET_EVENT_HEADER2& header = event.header;
  if ((header.flags & kEndpointFlags) != kEndpointFlags || header.ipVersion != FWP_IP_VERSION_V4) return false;
  if (header.ipProtocol != 6 && header.ipProtocol != 17) return false;
  const bool local = Matches(header, FWPM_NET_EVENT_FLAG_LOCAL_ADDR_SET, FWPM_NET_EVENT_FLAG_LOCAL_PORT_SET,
                             header.localAddrV4, header.localPort);
  const bool remote = Matches(header, FWPM_NET_EVENT_FLAG_REMOTE_ADDR_SET, FWPM_NET_EVENT_FLAG_REMOTE_PORT_SET,
                              header.remoteAddrV4, header.remotePort);
  if (!local && !remote) return false;
  const std::uint64_t timeUs = MicrosecondsSince1970(
      (static_cast<std::uint64_t>(header.timeStamp.dwHighDateTime) << 32) | header.timeStamp.dwLowDateTime);
  if (timeUs == 0) return false;

  record.timeUs = timeUs;
  record.filterId = event.classifyDrop->filterId;
  record.direction = event.classifyDrop->msFwpDirection;
  record.layerId = event.classifyDrop->layerId;
  record.localPort = (header.flags & FWPM_NET_EVENT_FLAG_LOCAL_PORT_SET) != 0 ? header.localPort : 0;
  record.remotePort = (header.flags & FWPM_NET_EVENT_FLAG_REMOTE_PORT_SET) != 0 ? header.remotePort : 0;
  record.protocol = header.ipProtocol;
  record.resolverIsLocal = local;
  return true;
}

std::shared_ptr<State> CurrentState(void* context) {
  SubscriptionRegistry& registry = Registry();
  std::lock_guard lock(registry.mutex);
  if (reinterpret_cast<std::uintptr_t>(context) != registry.generation) return nullptr;
  return registry.current.lock();
}

void Accept(State& state, const DropEvent& record) {
  std::lock_guard lock(state.mutex);
  if (state.stopped || record.timeUs < state.startedUs || std::chrono::steady_clock::now() >= state.deadline) return;
  if (state.eventCount == kMaxDropEvents) {
    ++state.dropped;
    return;
  }
  state.events[state.eventCount++] = record;
  if (record.filterId == 0) return;
  for (std::uint64_t i = 0; i < state.ruleCount; ++i) {
    if (state.rules[i].filterId == record.filterId) return;
  }
  if (state.ruleCount == kMaxDropRules) {
    state.rulesTruncated = true;
    return;
  }
  Rule& rule = state.rules[state.ruleCount++];
  rule.filterId = record.filterId;
  rule.firstDropUs = record.timeUs;
  state.wake.notify_all();
}

}  // namespace

std::uint64_t WallClockUs() noexcept { return SystemWallClockUs(); }

void Collector::Start() noexcept {
  if (state_) return;
  try {
    state_ = std::make_shared<State>(api_);
  } catch (...) {
    return;
  }
  // A thread of the platform's own that nobody joins, not a detached
  // std::thread: under load, MinGW's thread library was seen starting a
  // detached std::thread without its start block (a null read at its entry).
  auto* reference = new (std::nothrow) std::shared_ptr<State>(state_);
  const UniqueHandle thread(reference == nullptr ? nullptr
                                                 : reinterpret_cast<HANDLE>(::_beginthreadex(
                                                       nullptr, 0, &Work, reference, 0, nullptr)));
  if (!thread) {
    delete reference;
    std::lock_guard lock(state_->mutex);
    state_->status = Status::kUnavailable;
    state_->nativeErrorCode = ERROR_GEN_FAILURE;
  }
}

void Collector::Stop() noexcept {
  if (!state_) return;
  std::lock_guard lock(state_->mutex);
  if (state_->stopped) return;
  state_->stopped = true;
  state_->endedUs = WallClockUs();
  state_->wake.notify_all();
}

std::string Collector::Json() const {
  if (!state_) return "{\"status\":\"notStarted\",\"events\":[],\"dropped\":0}";
  std::lock_guard lock(state_->mutex);
  return DropStateJson(*state_);
}

void Collector::Destroy() noexcept { state_.reset(); }

void CALLBACK OnNetEvent(void* context, const FWPM_NET_EVENT2* event) noexcept {
  try {
    DropEvent record;
    if (event == nullptr || !ToDropEvent(*event, record)) return;
    // Registry, then state: taken one after the other, never nested.
    const std::shared_ptr<State> state = CurrentState(context);
    if (state) Accept(*state, record);
  } catch (...) {
  }
}

}  // namespace orv::dns
