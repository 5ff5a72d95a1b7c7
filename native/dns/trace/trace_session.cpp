#include "native/dns/trace/trace_session.h"

#include "native/common/scope_exit.h"
#include "native/common/unique_resource.h"

namespace orv::dns {

namespace {

constexpr ULONG kSystemTimeStamps = 2;
constexpr DWORD kGuardWaitMs = 100;

// Gone when the id no longer names a process, names a later process, or the
// process has ended. When in doubt the owner is alive.
bool OwnerGone(DWORD processId, std::uint64_t creationTime) {
  UniqueHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER;
  FILETIME creation = {}, exit = {}, kernel = {}, user = {};
  if (!::GetProcessTimes(process.get(), &creation, &exit, &kernel, &user)) return false;
  if (FileTimeValue(creation) != creationTime) return true;
  return ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

// After the name was found in use: 0 or 4201 when the session was ours and
// its owner is gone (it is stopped), 183 when it must be left alone.
[[nodiscard]] DWORD ReclaimSession(const EventTracingApi& api, const SessionIdentity& identity) {
  SessionProperties found = ControlProperties();
  const ULONG queried =
      api.ControlTraceW(0, identity.sessionName.c_str(), &found.properties, EVENT_TRACE_CONTROL_QUERY);
  if (queried != ERROR_SUCCESS) return queried;

  const WNODE_HEADER& node = found.properties.Wnode;
  const std::uint64_t creationTime = SessionGuidCreationTime(node.Guid);
  const bool ours = node.HistoricalContext != 0 && found.properties.LogFileMode == EVENT_TRACE_REAL_TIME_MODE &&
                    node.Guid.Data1 >= 4 && (creationTime >> 32) != 0 &&
                    node.Guid.Data2 == SessionGuidData2(identity.hash) &&
                    node.Guid.Data3 == SessionGuidData3(identity.hash);
  if (!ours || !OwnerGone(node.Guid.Data1, creationTime)) return ERROR_ALREADY_EXISTS;

  SessionProperties stop = ControlProperties();
  const ULONG stopped = api.ControlTraceW(node.HistoricalContext, nullptr, &stop.properties, EVENT_TRACE_CONTROL_STOP);
  return stopped == ERROR_MORE_DATA ? ERROR_SUCCESS : stopped;
}

}  // namespace

SessionProperties ControlProperties() {
  SessionProperties block = {};
  block.properties.Wnode.BufferSize = sizeof(SessionProperties);
  block.properties.Wnode.Flags = WNODE_FLAG_TRACED_GUID;
  block.properties.Wnode.ClientContext = kSystemTimeStamps;
  block.properties.LoggerNameOffset = sizeof(EVENT_TRACE_PROPERTIES);
  return block;
}

SessionProperties StartProperties(const GUID& sessionGuid) {
  SessionProperties block = ControlProperties();
  block.properties.Wnode.Guid = sessionGuid;
  block.properties.BufferSize = 16;  // KB
  block.properties.MinimumBuffers = 2;
  block.properties.MaximumBuffers = 16;
  block.properties.LogFileMode = EVENT_TRACE_REAL_TIME_MODE;
  block.properties.FlushTimer = 1;  // second
  return block;
}

DWORD StartSession(const EventTracingApi& api, const SessionIdentity& identity, TRACEHANDLE& session) {
  session = 0;
  UniqueHandle guard(::CreateMutexW(nullptr, FALSE, identity.mutexName.c_str()));
  if (!guard) return ::GetLastError();
  const DWORD waited = ::WaitForSingleObject(guard.get(), kGuardWaitMs);
  if (waited == WAIT_TIMEOUT) return ERROR_BUSY;
  // An abandoned guard only means its last holder died; the session check below copes.
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return ::GetLastError();
  ScopeExit release([&] { ::ReleaseMutex(guard.get()); });

  const SessionProperties saved = StartProperties(identity.guid);
  SessionProperties block = saved;
  ULONG started = api.StartTraceW(&session, identity.sessionName.c_str(), &block.properties);
  if (started == ERROR_ALREADY_EXISTS) {
    const DWORD reclaimed = ReclaimSession(api, identity);
    if (reclaimed == ERROR_SUCCESS || reclaimed == ERROR_WMI_INSTANCE_NOT_FOUND) {
      block = saved;
      started = api.StartTraceW(&session, identity.sessionName.c_str(), &block.properties);
    } else {
      started = reclaimed;
    }
  }
  if (started != ERROR_SUCCESS) session = 0;
  return started;
}

SessionStop StopSession(const EventTracingApi& api, TRACEHANDLE session) {
  SessionProperties block = ControlProperties();
  const ULONG result = api.ControlTraceW(session, nullptr, &block.properties, EVENT_TRACE_CONTROL_STOP);
  SessionStop stop;
  if (result == ERROR_SUCCESS) {
    stop.lost = block.properties.EventsLost != 0 ? block.properties.EventsLost
                                                 : (block.properties.RealTimeBuffersLost != 0 ? 1 : 0);
  } else if (result == ERROR_MORE_DATA || result == ERROR_WMI_INSTANCE_NOT_FOUND) {
    // Stopped while flushing, or already gone: events may have been lost.
    stop.lost = 1;
  } else {
    stop.error = result;
  }
  return stop;
}

}  // namespace orv::dns
