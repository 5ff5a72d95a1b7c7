#pragma once
// Event tracing for tests: sessions that start, stop and can be queried, and
// consumers whose ProcessTrace delivers the test's events to the callback and
// returns once its session stops or its handle closes, as on Windows. Every
// call is recorded, so tests can see what the trace asked of the platform.
// One instance per process, reset by each test.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "native/dns/trace/event_tracing_api.h"
#include "native/dns/trace/trace_session.h"
#include "tests/native/dns/trace/fake_tdh.h"

namespace orv::test {

class FakeEventTracing {
 public:
  static FakeEventTracing& Instance();

  dns::EventTracingApi Api(std::chrono::milliseconds expiry = std::chrono::seconds(45)) const;
  void Reset();

  // What the platform answers (set before the trace starts).
  std::deque<ULONG> startResults;  // one per StartTraceW, 0 once used up
  bool scribbleOnStart = false;    // StartTraceW writes into the block it is given
  ULONG queryResult = ERROR_SUCCESS;
  dns::SessionProperties queryBlock = {};
  ULONG stopResult = ERROR_SUCCESS;
  ULONG leftStopResult = ERROR_SUCCESS;  // stopping a session this fake did not start
  ULONG stopEventsLost = 0;
  ULONG stopRealTimeBuffersLost = 0;
  std::chrono::milliseconds stopDelay{0};
  DWORD openError = ERROR_SUCCESS;  // OpenTraceW fails with this error
  ULONG enableResult = ERROR_SUCCESS;
  DWORD timerError = ERROR_SUCCESS;  // CreateThreadpoolTimer fails with this error
  ULONG processResult = ERROR_SUCCESS;
  std::vector<const FakeClientEvent*> events;  // delivered by each ProcessTrace

  struct StartCall {
    std::wstring name;
    std::vector<BYTE> block;  // as given, before the platform writes into it
  };
  struct ControlCall {
    TRACEHANDLE handle;
    std::wstring name;
    ULONG code;
  };
  struct OpenCall {
    std::wstring loggerName;
    ULONG mode;
    PEVENT_RECORD_CALLBACK callback;
    void* context;
    TRACEHANDLE consumer;
  };
  struct EnableCall {
    TRACEHANDLE handle;
    GUID provider;
    ULONG controlCode;
    UCHAR level;
    ULONGLONG matchAny;
    ULONGLONG matchAll;
    ULONG timeout;
    bool hasParameters;
    ENABLE_TRACE_PARAMETERS parameters;
    EVENT_FILTER_DESCRIPTOR descriptor;
    std::vector<BYTE> filter;
  };

  // What was asked, copied under the fake's lock.
  std::vector<StartCall> Starts() const;
  std::vector<ControlCall> Controls() const;
  std::vector<OpenCall> Opens() const;
  std::vector<EnableCall> Enables() const;
  std::vector<LONGLONG> DueTimes() const;
  // "stop", "close" and "consumer ended", in the order they happened, with
  // what tests note of their other fakes.
  std::vector<std::string> Sequence() const;
  void Note(std::string what);
  int SessionsStarted() const;
  int SessionStops() const;  // by a session handle this fake gave out
  int ConsumersOpened() const;
  int ConsumerCloses() const;
  int ConsumersRunning() const;
  int TimersCreated() const;
  // A session handle stopped twice, or two stops of one running at once.
  bool StopOverlapSeen() const;

 private:
  friend struct FakeTracingCalls;
  struct Consumer {
    std::wstring loggerName;
    bool ended = false;
    bool closed = false;
  };
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<TRACEHANDLE, std::wstring> sessions_;
  std::map<TRACEHANDLE, int> stopsByHandle_;
  std::map<TRACEHANDLE, int> stopsInFlight_;
  std::map<TRACEHANDLE, Consumer> consumers_;
  std::vector<StartCall> starts_;
  std::vector<ControlCall> controls_;
  std::vector<OpenCall> opens_;
  std::vector<EnableCall> enables_;
  std::vector<LONGLONG> dueTimes_;
  std::vector<std::string> sequence_;
  int sessionStops_ = 0;
  int consumerCloses_ = 0;
  int consumersRunning_ = 0;
  int timersCreated_ = 0;
  bool stopOverlap_ = false;
  TRACEHANDLE nextSession_ = 0x1000;
  TRACEHANDLE nextConsumer_ = 0x2000;
};

}  // namespace orv::test
