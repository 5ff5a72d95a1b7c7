#include "tests/native/dns/trace/fake_event_tracing.h"

#include <cstring>
#include <thread>

namespace orv::test {

namespace {

std::vector<BYTE> BytesOf(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const BYTE*>(data);
  return std::vector<BYTE>(bytes, bytes + size);
}

}  // namespace

struct FakeTracingCalls {
  static FakeEventTracing& Fake() { return FakeEventTracing::Instance(); }

  static ULONG WINAPI Start(PTRACEHANDLE handle, LPCWSTR name, PEVENT_TRACE_PROPERTIES properties) {
    FakeEventTracing& fake = Fake();
    std::lock_guard lock(fake.mutex_);
    fake.starts_.push_back({name, BytesOf(properties, sizeof(dns::SessionProperties))});
    if (fake.scribbleOnStart) {
      properties->BufferSize = 64;
      properties->Wnode.HistoricalContext = 0xBAD;
      properties->NumberOfBuffers = 99;
    }
    ULONG result = ERROR_SUCCESS;
    if (!fake.startResults.empty()) {
      result = fake.startResults.front();
      fake.startResults.pop_front();
    }
    if (result != ERROR_SUCCESS) return result;
    *handle = fake.nextSession_++;
    fake.sessions_[*handle] = name;
    return ERROR_SUCCESS;
  }

  static ULONG WINAPI Control(TRACEHANDLE handle, LPCWSTR name, PEVENT_TRACE_PROPERTIES properties, ULONG code) {
    FakeEventTracing& fake = Fake();
    std::unique_lock lock(fake.mutex_);
    fake.controls_.push_back({handle, name == nullptr ? L"" : name, code});
    if (code == EVENT_TRACE_CONTROL_QUERY) {
      if (fake.queryResult == ERROR_SUCCESS) std::memcpy(properties, &fake.queryBlock, sizeof fake.queryBlock);
      return fake.queryResult;
    }
    const auto session = fake.sessions_.find(handle);
    if (code != EVENT_TRACE_CONTROL_STOP) return ERROR_SUCCESS;
    if (session == fake.sessions_.end()) return handle != 0 ? fake.leftStopResult : ERROR_SUCCESS;
    fake.sequence_.push_back("stop");
    const bool again = ++fake.stopsByHandle_[handle] > 1;
    const bool overlapping = ++fake.stopsInFlight_[handle] > 1;
    if (again || overlapping) fake.stopOverlap_ = true;
    ++fake.sessionStops_;
    lock.unlock();
    std::this_thread::sleep_for(fake.stopDelay);
    lock.lock();
    --fake.stopsInFlight_[handle];
    if (fake.stopResult != ERROR_SUCCESS && fake.stopResult != ERROR_MORE_DATA &&
        fake.stopResult != ERROR_WMI_INSTANCE_NOT_FOUND) {
      return fake.stopResult;
    }
    for (auto& [consumer, state] : fake.consumers_) {
      if (state.loggerName == session->second) state.ended = true;
    }
    fake.changed_.notify_all();
    properties->EventsLost = fake.stopEventsLost;
    properties->RealTimeBuffersLost = fake.stopRealTimeBuffersLost;
    return fake.stopResult;
  }

  static TRACEHANDLE WINAPI Open(PEVENT_TRACE_LOGFILEW logfile) {
    FakeEventTracing& fake = Fake();
    std::lock_guard lock(fake.mutex_);
    if (fake.openError != ERROR_SUCCESS) {
      fake.opens_.push_back({logfile->LoggerName, logfile->ProcessTraceMode, logfile->EventRecordCallback,
                             logfile->Context, INVALID_PROCESSTRACE_HANDLE});
      ::SetLastError(fake.openError);
      return INVALID_PROCESSTRACE_HANDLE;
    }
    const TRACEHANDLE consumer = fake.nextConsumer_++;
    fake.opens_.push_back(
        {logfile->LoggerName, logfile->ProcessTraceMode, logfile->EventRecordCallback, logfile->Context, consumer});
    fake.consumers_[consumer].loggerName = logfile->LoggerName;
    return consumer;
  }

  static ULONG WINAPI Process(PTRACEHANDLE handles, ULONG count, LPFILETIME, LPFILETIME) {
    FakeEventTracing& fake = Fake();
    std::unique_lock lock(fake.mutex_);
    if (count != 1) return ERROR_INVALID_PARAMETER;
    const TRACEHANDLE consumer = handles[0];
    const FakeEventTracing::OpenCall* open = nullptr;
    for (const FakeEventTracing::OpenCall& call : fake.opens_) {
      if (call.consumer == consumer) open = &call;
    }
    if (open == nullptr) return ERROR_INVALID_HANDLE;
    const PEVENT_RECORD_CALLBACK callback = open->callback;
    void* const context = open->context;
    const std::vector<const FakeClientEvent*> events = fake.events;
    ++fake.consumersRunning_;
    lock.unlock();
    for (const FakeClientEvent* event : events) {
      EVENT_RECORD record = event->record();
      record.UserContext = context;
      callback(&record);
    }
    lock.lock();
    fake.changed_.wait(lock, [&] { return fake.consumers_[consumer].ended; });
    --fake.consumersRunning_;
    fake.sequence_.push_back("consumer ended");
    return fake.processResult;
  }

  static ULONG WINAPI Close(TRACEHANDLE consumer) {
    FakeEventTracing& fake = Fake();
    std::lock_guard lock(fake.mutex_);
    const auto found = fake.consumers_.find(consumer);
    if (found == fake.consumers_.end() || found->second.closed) return ERROR_INVALID_HANDLE;
    found->second.closed = true;
    found->second.ended = true;
    ++fake.consumerCloses_;
    fake.sequence_.push_back("close");
    fake.changed_.notify_all();
    return ERROR_SUCCESS;
  }

  static ULONG WINAPI Enable(TRACEHANDLE handle, LPCGUID provider, ULONG controlCode, UCHAR level,
                             ULONGLONG matchAny, ULONGLONG matchAll, ULONG timeout,
                             PENABLE_TRACE_PARAMETERS parameters) {
    FakeEventTracing& fake = Fake();
    std::lock_guard lock(fake.mutex_);
    FakeEventTracing::EnableCall call = {handle, *provider, controlCode, level, matchAny, matchAll, timeout,
                                         parameters != nullptr, {}, {}, {}};
    if (parameters != nullptr) {
      call.parameters = *parameters;
      if (parameters->EnableFilterDesc != nullptr && parameters->FilterDescCount == 1) {
        call.descriptor = *parameters->EnableFilterDesc;
        call.filter = BytesOf(reinterpret_cast<const void*>(call.descriptor.Ptr), call.descriptor.Size);
      }
    }
    fake.enables_.push_back(call);
    return fake.enableResult;
  }

  static PTP_TIMER WINAPI CreateTimer(PTP_TIMER_CALLBACK callback, PVOID context, PTP_CALLBACK_ENVIRON environment) {
    FakeEventTracing& fake = Fake();
    std::lock_guard lock(fake.mutex_);
    if (fake.timerError != ERROR_SUCCESS) {
      ::SetLastError(fake.timerError);
      return nullptr;
    }
    ++fake.timersCreated_;
    return ::CreateThreadpoolTimer(callback, context, environment);
  }

  static VOID WINAPI SetTimer(PTP_TIMER timer, PFILETIME due, DWORD period, DWORD window) {
    FakeEventTracing& fake = Fake();
    {
      std::lock_guard lock(fake.mutex_);
      if (due != nullptr) {
        ULARGE_INTEGER value = {};
        value.LowPart = due->dwLowDateTime;
        value.HighPart = due->dwHighDateTime;
        fake.dueTimes_.push_back(static_cast<LONGLONG>(value.QuadPart));
      }
    }
    ::SetThreadpoolTimer(timer, due, period, window);
  }
};

FakeEventTracing& FakeEventTracing::Instance() {
  static auto* fake = new FakeEventTracing();
  return *fake;
}

dns::EventTracingApi FakeEventTracing::Api(std::chrono::milliseconds expiry) const {
  dns::EventTracingApi api;
  api.StartTraceW = &FakeTracingCalls::Start;
  api.ControlTraceW = &FakeTracingCalls::Control;
  api.OpenTraceW = &FakeTracingCalls::Open;
  api.ProcessTrace = &FakeTracingCalls::Process;
  api.CloseTrace = &FakeTracingCalls::Close;
  api.EnableTraceEx2 = &FakeTracingCalls::Enable;
  api.CreateThreadpoolTimer = &FakeTracingCalls::CreateTimer;
  api.SetThreadpoolTimer = &FakeTracingCalls::SetTimer;
  api.expiry = expiry;
  return api;
}

void FakeEventTracing::Reset() {
  std::lock_guard lock(mutex_);
  startResults.clear();
  scribbleOnStart = false;
  queryResult = ERROR_SUCCESS;
  queryBlock = {};
  stopResult = ERROR_SUCCESS;
  leftStopResult = ERROR_SUCCESS;
  stopEventsLost = 0;
  stopRealTimeBuffersLost = 0;
  stopDelay = std::chrono::milliseconds(0);
  openError = ERROR_SUCCESS;
  enableResult = ERROR_SUCCESS;
  timerError = ERROR_SUCCESS;
  processResult = ERROR_SUCCESS;
  events.clear();
  sessions_.clear();
  stopsByHandle_.clear();
  stopsInFlight_.clear();
  consumers_.clear();
  starts_.clear();
  controls_.clear();
  opens_.clear();
  enables_.clear();
  dueTimes_.clear();
  sequence_.clear();
  sessionStops_ = 0;
  consumerCloses_ = 0;
  consumersRunning_ = 0;
  timersCreated_ = 0;
  stopOverlap_ = false;
  nextSession_ = 0x1000;
  nextConsumer_ = 0x2000;
}

void FakeEventTracing::Note(std::string what) {
  std::lock_guard lock(mutex_);
  sequence_.push_back(std::move(what));
}

#define FAKE_TRACING_READ(Type, Name, member) \
  Type FakeEventTracing::Name() const {       \
    std::lock_guard lock(mutex_);             \
    return member;                            \
  }
FAKE_TRACING_READ(std::vector<FakeEventTracing::StartCall>, Starts, starts_)
FAKE_TRACING_READ(std::vector<FakeEventTracing::ControlCall>, Controls, controls_)
FAKE_TRACING_READ(std::vector<FakeEventTracing::OpenCall>, Opens, opens_)
FAKE_TRACING_READ(std::vector<FakeEventTracing::EnableCall>, Enables, enables_)
FAKE_TRACING_READ(std::vector<LONGLONG>, DueTimes, dueTimes_)
FAKE_TRACING_READ(std::vector<std::string>, Sequence, sequence_)
FAKE_TRACING_READ(int, SessionsStarted, static_cast<int>(sessions_.size()))
FAKE_TRACING_READ(int, SessionStops, sessionStops_)
FAKE_TRACING_READ(int, ConsumersOpened, static_cast<int>(consumers_.size()))
FAKE_TRACING_READ(int, ConsumerCloses, consumerCloses_)
FAKE_TRACING_READ(int, ConsumersRunning, consumersRunning_)
FAKE_TRACING_READ(int, TimersCreated, timersCreated_)
FAKE_TRACING_READ(bool, StopOverlapSeen, stopOverlap_)
#undef FAKE_TRACING_READ

}  // namespace orv::test
