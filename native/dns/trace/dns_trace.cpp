#include "native/dns/trace/dns_trace.h"

#include <cstddef>
#include <iterator>

#include "native/common/diagnostic_json.h"
#include "native/dns/trace/sdk_additions_etw.h"
#include "native/dns/trace/trace_session.h"

namespace orv::dns {

namespace {

constexpr UCHAR kLevelInformation = 4;

// The event-id filter: only the events a trace keeps leave the provider.
struct EventIdFilter {
  EventIdFilter() {
    bytes[0] = TRUE;  // FilterIn
    bytes[2] = static_cast<BYTE>(std::size(kClientEventIds));
    for (std::size_t i = 0; i < std::size(kClientEventIds); ++i) {
      bytes[4 + 2 * i] = static_cast<BYTE>(kClientEventIds[i] & 0xFF);
      bytes[5 + 2 * i] = static_cast<BYTE>(kClientEventIds[i] >> 8);
    }
  }
  BYTE bytes[offsetof(EVENT_FILTER_EVENT_ID, Events) + sizeof(USHORT) * std::size(kClientEventIds)] = {};
};
static_assert(sizeof(EventIdFilter::bytes) == 14);

}  // namespace

DnsTrace::DnsTrace(const TracePlatform& platform, std::string tracedName)
    : platform_(platform), timer_(platform_.tracing), collector_(platform_.wfp) {
  log_.queryName = std::move(tracedName);
}

DnsTrace::~DnsTrace() {
  CancelExpiry();
  Stop();
  log_.events.clear();
  collector_.Destroy();
  capture_.reset();
}

DWORD DnsTrace::Start() {
  log_.events.reserve(kMaxClientEvents);
  if (const DWORD identity = OwnSessionIdentity(identity_); identity != ERROR_SUCCESS) return identity;
  if (const DWORD started = StartSession(platform_.tracing, identity_, session_); started != ERROR_SUCCESS) {
    return started;
  }
  if (const DWORD opened = OpenConsumer(); opened != ERROR_SUCCESS) return opened;
  const TRACEHANDLE consumer = consumer_;
  consumerThread_ = std::thread([this, consumer] {
    TRACEHANDLE handles[1] = {consumer};
    consumerResult_ = platform_.tracing.ProcessTrace(handles, 1, nullptr, nullptr);
  });
  if (const DWORD enabled = EnableProvider(); enabled != ERROR_SUCCESS) return enabled;
  if (const DWORD timer = timer_.Create(&OnExpiry, this); timer != ERROR_SUCCESS) return timer;
  StartCapture();
  collector_.Start();
  timer_.Arm(platform_.tracing.expiry);
  return ERROR_SUCCESS;
}

DWORD DnsTrace::OpenConsumer() {
  EVENT_TRACE_LOGFILEW logfile = {};
  logfile.LoggerName = identity_.sessionName.data();
  logfile.ProcessTraceMode = PROCESS_TRACE_MODE_REAL_TIME | PROCESS_TRACE_MODE_EVENT_RECORD;
  logfile.EventRecordCallback = &DnsTrace::OnEventRecord;
  logfile.Context = this;
  const TRACEHANDLE consumer = platform_.tracing.OpenTraceW(&logfile);
  if (consumer == INVALID_PROCESSTRACE_HANDLE) return ::GetLastError();
  consumer_ = consumer;
  return ERROR_SUCCESS;
}

DWORD DnsTrace::EnableProvider() {
  EventIdFilter filter;
  EVENT_FILTER_DESCRIPTOR descriptor = {};
  descriptor.Ptr = reinterpret_cast<ULONGLONG>(filter.bytes);
  descriptor.Size = sizeof filter.bytes;
  descriptor.Type = EVENT_FILTER_TYPE_EVENT_ID;
  ENABLE_TRACE_PARAMETERS parameters = {};
  parameters.Version = ENABLE_TRACE_PARAMETERS_VERSION_2;
  parameters.EnableFilterDesc = &descriptor;
  parameters.FilterDescCount = 1;
  return platform_.tracing.EnableTraceEx2(session_, &kDnsClientProvider, EVENT_CONTROL_CODE_ENABLE_PROVIDER,
                                          kLevelInformation, 0, 0, 0, &parameters);
}

// The trace goes on without a capture that cannot even be made; one that
// cannot run says why in its own JSON.
void DnsTrace::StartCapture() noexcept {
  try {
    if (platform_.capture) {
      capture_ = platform_.capture(std::wstring(log_.queryName.begin(), log_.queryName.end()));
    }
  } catch (...) {
    capture_.reset();
  }
}

void DnsTrace::CancelExpiry() noexcept { timer_.Cancel(); }

void DnsTrace::Stop() noexcept {
  if (capture_) capture_->Stop();
  collector_.Stop();
  if (session_ != 0) {
    const SessionStop stop = StopSession(platform_.tracing, session_);
    lost_ = stop.lost;
    stopError_ = stop.error;
    session_ = 0;
  }
  // A session that did not stop leaves ProcessTrace waiting until its handle closes.
  if (consumer_ != INVALID_PROCESSTRACE_HANDLE && stopError_ != ERROR_SUCCESS) {
    platform_.tracing.CloseTrace(consumer_);
    consumer_ = INVALID_PROCESSTRACE_HANDLE;
  }
  if (consumerThread_.joinable()) consumerThread_.join();
  if (consumer_ != INVALID_PROCESSTRACE_HANDLE) {
    platform_.tracing.CloseTrace(consumer_);
    consumer_ = INVALID_PROCESSTRACE_HANDLE;
  }
}

void CALLBACK DnsTrace::OnExpiry(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER) noexcept {
  auto* trace = static_cast<DnsTrace*>(context);
  trace->Stop();
  trace->expired_.exchange(true);
}

void WINAPI DnsTrace::OnEventRecord(PEVENT_RECORD record) noexcept {
  if (record == nullptr || record->UserContext == nullptr) return;
  auto* trace = static_cast<DnsTrace*>(record->UserContext);
  if (trace->tag_ != kTag || !::IsEqualGUID(record->EventHeader.ProviderId, kDnsClientProvider)) return;
  try {
    RecordClientEvent(trace->platform_.tdh, *record, ::GetCurrentProcessId(), trace->log_);
  } catch (...) {
    ++trace->log_.dropped;
  }
}

std::string DnsTrace::ResultJson() const {
  TraceDocumentParts parts(log_.events);
  parts.dropped = log_.dropped + lost_;
  parts.expired = expired();
  parts.clientError = stopError_ != ERROR_SUCCESS ? stopError_ : consumerResult_;
  parts.packets = capture_ ? capture_->Json() : std::string("{\"status\":\"unavailable\"}");
  parts.wfp = collector_.Json();
  return TraceDocument(parts);
}

std::string TraceDocument(const TraceDocumentParts& parts) {
  std::string json = "{\"events\":[";
  for (std::size_t i = 0; i < parts.events.size(); ++i) {
    if (i != 0) json.push_back(',');
    json.append(parts.events[i]);
  }
  json.push_back(']');
  AppendUnsignedMember(json, "dropped", parts.dropped);
  AppendBoolMember(json, "expired", parts.expired);
  if (parts.clientError != ERROR_SUCCESS) AppendUnsignedMember(json, "dnsClientErrorCode", parts.clientError);
  json.append(",\"orvPackets\":").append(parts.packets);
  json.append(",\"wfp\":").append(parts.wfp);
  json.push_back('}');
  return json;
}

}  // namespace orv::dns
