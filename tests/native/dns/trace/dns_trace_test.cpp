// The DNS client trace on fake event tracing: what it asks of the platform,
// starting, failing cleanly, stopping, finishing, expiring and racing.

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "native/dns/trace/dns_trace.h"
#include "native/dns/trace/trace_identity.h"
#include "tests/native/dns/trace/trace_fixture.h"

namespace orv::test {
namespace {

using namespace std::chrono_literals;

constexpr const wchar_t* kName = L"example.org";

void Put32(std::vector<BYTE>& bytes, std::size_t offset, std::uint32_t value) {
  std::memcpy(bytes.data() + offset, &value, sizeof value);
}

std::uint64_t DroppedOf(const std::string& json) {
  std::smatch match;
  if (!std::regex_search(json, match, std::regex("\"dropped\":([0-9]+),\"expired\""))) return ~0ULL;
  return std::stoull(match[1]);
}

// The document with its wall-clock times blanked: two runs differ only there.
std::string WithoutClock(const std::string& json) {
  return std::regex_replace(json, std::regex("(Us\":)[0-9]+"), "$1T");
}

class DnsTraceTest : public DnsTraceFixture {
 protected:
  // A trace with nothing recorded, finished once its collector has settled,
  // so that its document is the same every time.
  Finished SettledRun(std::uint32_t bufferSize = 65536) {
    if (Start(kName, lastId_) != 0) return {ERROR_GEN_FAILURE, 0, {}};
    WaitCollectorsSettled();
    return Finish(lastId_, bufferSize);
  }
  std::uint64_t lastId_ = 0;
};

TEST_F(DnsTraceTest, WhatTheTraceAsksOfThePlatform) {
  Registry();
  std::uint64_t id = 0;
  ASSERT_EQ(Start(L"Example.ORG.", id), 0u);
  dns::SessionIdentity identity;
  ASSERT_EQ(dns::OwnSessionIdentity(identity), 0u);

  // The properties block, byte by byte.
  const auto starts = tracing().Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].name, identity.sessionName);
  std::vector<BYTE> expected(376, 0);
  Put32(expected, 0, 376);                              // Wnode.BufferSize
  std::memcpy(expected.data() + 24, &identity.guid, 16);  // Wnode.Guid
  Put32(expected, 40, 2);                               // Wnode.ClientContext: system time
  Put32(expected, 44, 0x20000);                         // Wnode.Flags: traced GUID
  Put32(expected, 48, 16);                              // BufferSize (KB)
  Put32(expected, 52, 2);                               // MinimumBuffers
  Put32(expected, 56, 16);                              // MaximumBuffers
  Put32(expected, 64, 0x100);                           // LogFileMode: real time
  Put32(expected, 68, 1);                               // FlushTimer
  Put32(expected, 116, 120);                            // LoggerNameOffset
  EXPECT_EQ(starts[0].block, expected);

  // The consumer.
  const auto opens = tracing().Opens();
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].loggerName, identity.sessionName);
  EXPECT_EQ(opens[0].mode, 0x10000100u);
  EXPECT_EQ(opens[0].callback, &dns::DnsTrace::OnEventRecord);
  EXPECT_NE(opens[0].context, nullptr);

  // The provider, with its event-id filter.
  const auto enables = tracing().Enables();
  ASSERT_EQ(enables.size(), 1u);
  const auto& enable = enables[0];
  EXPECT_EQ(enable.handle, 0x1000u);  // the session the fake started
  const GUID dnsClient = {0x1C95126E, 0x7EEA, 0x49A9, {0xA3, 0xFE, 0xA3, 0x78, 0xB0, 0x3D, 0xDB, 0x4D}};
  EXPECT_TRUE(IsEqualGUID(enable.provider, dnsClient));
  EXPECT_EQ(enable.controlCode, 1u);
  EXPECT_EQ(enable.level, 4);
  EXPECT_EQ(enable.matchAny, 0u);
  EXPECT_EQ(enable.matchAll, 0u);
  EXPECT_EQ(enable.timeout, 0u);
  ASSERT_TRUE(enable.hasParameters);
  EXPECT_EQ(enable.parameters.Version, 2u);
  EXPECT_EQ(enable.parameters.EnableProperty, 0u);
  EXPECT_EQ(enable.parameters.ControlFlags, 0u);
  EXPECT_TRUE(IsEqualGUID(enable.parameters.SourceId, GUID{}));
  EXPECT_EQ(enable.parameters.FilterDescCount, 1u);
  EXPECT_EQ(enable.descriptor.Type, 0x80000200u);
  EXPECT_EQ(enable.descriptor.Size, 14u);
  const std::vector<BYTE> filter = {1, 0, 5, 0, 0xC1, 0x0B, 0xC2, 0x0B, 0xC3, 0x0B, 0xCB, 0x0B, 0xCC, 0x0B};
  EXPECT_EQ(enable.filter, filter);

  // The expiry, the capture and the collector.
  EXPECT_EQ(tracing().DueTimes(), std::vector<LONGLONG>{-450000000LL});
  EXPECT_EQ(captures_.made.load(), 1);
  EXPECT_EQ(captures_.lastName, L"example.org");
  EXPECT_TRUE(WaitCollectorsSettled());

  const Finished finished = Finish(id);
  ASSERT_EQ(finished.result, 0u);
  // Stopped in order (the capture first, the consumer last), then stopped
  // again, harmlessly, as the trace is destroyed.
  EXPECT_EQ(tracing().Sequence(),
            (std::vector<std::string>{"capture stop", "stop", "consumer ended", "close", "capture stop"}));
  EXPECT_EQ(captures_.destroyed.load(), 1);
  EXPECT_EQ(tracing().SessionStops(), 1);
  EXPECT_EQ(tracing().ConsumerCloses(), 1);
}

TEST_F(DnsTraceTest, SecondStartIsBusyAndUsesNoId) {
  Registry();
  std::uint64_t first = 0, second = 77, third = 0;
  ASSERT_EQ(Start(kName, first), 0u);
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(Start(kName, second), 170u);
  EXPECT_EQ(second, 0u);
  EXPECT_EQ(Finish(first).result, 0u);
  ASSERT_EQ(Start(kName, third), 0u);
  EXPECT_EQ(third, 2u);
}

TEST_F(DnsTraceTest, AFailedStartLeavesNothingRunningAndAGap) {
  Registry();
  const struct {
    const char* step;
    void (*inject)(FakeEventTracing&);
    DWORD code;
  } steps[] = {
      {"StartTraceW", [](FakeEventTracing& f) { f.startResults = {ERROR_ACCESS_DENIED}; }, ERROR_ACCESS_DENIED},
      {"OpenTraceW", [](FakeEventTracing& f) { f.openError = ERROR_ACCESS_DENIED; }, ERROR_ACCESS_DENIED},
      {"EnableTraceEx2", [](FakeEventTracing& f) { f.enableResult = ERROR_NO_SYSTEM_RESOURCES; },
       ERROR_NO_SYSTEM_RESOURCES},
      {"CreateThreadpoolTimer", [](FakeEventTracing& f) { f.timerError = ERROR_OUTOFMEMORY; }, ERROR_OUTOFMEMORY},
  };
  std::uint64_t expectedId = 1;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.step);
    tracing().Reset();
    step.inject(tracing());
    std::uint64_t id = 55;
    EXPECT_EQ(Start(kName, id), step.code);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(tracing().SessionStops(), tracing().SessionsStarted());
    EXPECT_EQ(tracing().ConsumerCloses(), tracing().ConsumersOpened());
    EXPECT_EQ(tracing().ConsumersRunning(), 0);
    EXPECT_EQ(captures_.made.load(), 0);

    tracing().Reset();
    ASSERT_EQ(Start(kName, id), 0u);
    EXPECT_EQ(id, expectedId + 1);  // the failed start used up an id
    EXPECT_EQ(Finish(id).result, 0u);
    expectedId += 2;
    captures_.made = 0;
  }
}

TEST_F(DnsTraceTest, ACaptureThatCannotBeMadeLeavesTheTraceWithout) {
  Registry();
  captures_.refuse = true;
  const Finished finished = SettledRun();
  ASSERT_EQ(finished.result, 0u);
  EXPECT_NE(finished.json.find(",\"orvPackets\":{\"status\":\"unavailable\"},\"wfp\":{"), std::string::npos)
      << finished.json;
}

TEST_F(DnsTraceTest, GuardMutexHeldElsewhereIsBusyAbandonedIsObtained) {
  Registry();
  dns::SessionIdentity identity;
  ASSERT_EQ(dns::OwnSessionIdentity(identity), 0u);

  HANDLE held = nullptr;
  HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE taken = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    held = ::CreateMutexW(nullptr, TRUE, identity.mutexName.c_str());
    ::SetEvent(taken);
    ::WaitForSingleObject(release, INFINITE);
    ::ReleaseMutex(held);
    ::CloseHandle(held);
  });
  ::WaitForSingleObject(taken, INFINITE);
  std::uint64_t id = 0;
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(Start(kName, id), 170u);
  EXPECT_GE(std::chrono::steady_clock::now() - before, 90ms);  // it waited for the holder
  EXPECT_TRUE(tracing().Starts().empty());
  ::SetEvent(release);
  holder.join();

  // A holder that ends without releasing leaves the mutex abandoned.
  HANDLE abandoned = nullptr;
  std::thread quitter([&] { abandoned = ::CreateMutexW(nullptr, TRUE, identity.mutexName.c_str()); });
  quitter.join();
  EXPECT_EQ(Start(kName, id), 0u);
  EXPECT_EQ(tracing().Starts().size(), 1u);
  ::CloseHandle(abandoned);
  ::CloseHandle(release);
  ::CloseHandle(taken);
}

TEST_F(DnsTraceTest, LostEvents) {
  Registry();
  const struct {
    ULONG stopResult, eventsLost, buffersLost;
    std::uint64_t dropped;
  } cases[] = {
      {0, 0, 0, 0}, {0, 7, 3, 7}, {0, 0, 3, 1}, {ERROR_MORE_DATA, 0, 0, 1}, {ERROR_WMI_INSTANCE_NOT_FOUND, 0, 0, 1},
  };
  for (const auto& c : cases) {
    tracing().Reset();
    tracing().stopResult = c.stopResult;
    tracing().stopEventsLost = c.eventsLost;
    tracing().stopRealTimeBuffersLost = c.buffersLost;
    std::uint64_t id = 0;
    ASSERT_EQ(Start(kName, id), 0u);
    const Finished finished = Finish(id);
    ASSERT_EQ(finished.result, 0u);
    EXPECT_EQ(DroppedOf(finished.json), c.dropped) << finished.json;
    EXPECT_EQ(finished.json.find("dnsClientErrorCode"), std::string::npos);
  }
}

TEST_F(DnsTraceTest, StopErrorClosesTheConsumerBeforeTheJoinAndIsReported) {
  Registry();
  tracing().stopResult = ERROR_ACCESS_DENIED;
  tracing().processResult = ERROR_CANCELLED;
  const Finished finished = SettledRun();
  ASSERT_EQ(finished.result, 0u);
  EXPECT_NE(finished.json.find(",\"expired\":false,\"dnsClientErrorCode\":5,\"orvPackets\":"), std::string::npos)
      << finished.json;
  EXPECT_EQ(tracing().Sequence(),
            (std::vector<std::string>{"capture stop", "stop", "close", "consumer ended", "capture stop"}));
  EXPECT_EQ(tracing().ConsumerCloses(), 1);

  tracing().Reset();
  tracing().processResult = ERROR_CANCELLED;
  const Finished consumerFailed = SettledRun();
  EXPECT_NE(consumerFailed.json.find(",\"dnsClientErrorCode\":1223,"), std::string::npos) << consumerFailed.json;
  EXPECT_EQ(tracing().Sequence(),
            (std::vector<std::string>{"capture stop", "stop", "consumer ended", "close", "capture stop"}));
}

TEST_F(DnsTraceTest, FinishRefusesWhatIsNotCurrent) {
  Registry();
  EXPECT_EQ(Finish(0).result, 6u);
  EXPECT_EQ(Finish(1).result, 6u);
  std::uint64_t id = 0;
  ASSERT_EQ(Start(kName, id), 0u);
  EXPECT_EQ(Finish(0).result, 6u);
  EXPECT_EQ(Finish(id + 1).result, 6u);
  const Finished first = Finish(id);
  EXPECT_EQ(first.result, 0u);
  const Finished twice = Finish(id);
  EXPECT_EQ(twice.result, 6u);
  EXPECT_EQ(twice.written, 0u);
}

TEST_F(DnsTraceTest, FinishWithoutAPlaceForTheResultStillEndsTheTrace) {
  Registry();
  std::uint64_t id = 0;
  std::uint32_t written = 0xDEADBEEF;
  std::uint8_t byte = 0;

  ASSERT_EQ(Start(kName, id), 0u);
  EXPECT_EQ(registry_->Finish(id, nullptr, 100, &written), 87u);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(Finish(id).result, 6u);
  EXPECT_EQ(tracing().SessionStops(), 1);

  ASSERT_EQ(Start(kName, id), 0u);
  EXPECT_EQ(registry_->Finish(id, &byte, 1, nullptr), 87u);
  EXPECT_EQ(Finish(id).result, 6u);
  EXPECT_EQ(tracing().SessionStops(), 2);
  EXPECT_EQ(tracing().ConsumersRunning(), 0);
}

TEST_F(DnsTraceTest, BufferOfExactlyTheLengthFitsOneLessDoesNot) {
  Registry();
  const Finished measured = SettledRun();
  ASSERT_EQ(measured.result, 0u);
  const auto length = static_cast<std::uint32_t>(measured.json.size());
  EXPECT_EQ(measured.written, length);
  EXPECT_EQ(measured.json.find('\0'), std::string::npos);

  const Finished exact = SettledRun(length);
  EXPECT_EQ(exact.result, 0u);
  EXPECT_EQ(exact.written, length) << measured.json << "\n" << exact.json;

  const Finished shorter = SettledRun(length - 1);
  EXPECT_EQ(shorter.result, 122u);
  EXPECT_EQ(shorter.written, 0u);
  EXPECT_EQ(tracing().ConsumersRunning(), 0);  // stopped all the same

  // The document waits for a buffer with room enough, once.
  const Finished again = Finish(lastId_, length - 1);
  EXPECT_EQ(again.result, 122u);
  EXPECT_EQ(again.written, 0u);
  const Finished collected = Finish(lastId_, length);
  EXPECT_EQ(collected.result, 0u);
  EXPECT_EQ(collected.written, length);
  EXPECT_EQ(WithoutClock(collected.json), WithoutClock(measured.json));
  EXPECT_EQ(Finish(lastId_).result, 6u);
}

TEST_F(DnsTraceTest, AKeptDocumentOutlivesANullBufferAFailedStartAndOtherIds) {
  Registry();
  const Finished measured = SettledRun();
  ASSERT_EQ(measured.result, 0u);
  ASSERT_EQ(SettledRun(1).result, 122u);
  const std::uint64_t kept = lastId_;

  std::uint32_t written = 7;
  std::uint8_t byte = 0;
  EXPECT_EQ(registry_->Finish(kept, nullptr, 100, &written), 87u);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(registry_->Finish(kept, &byte, 1, nullptr), 87u);

  // A start that fails takes nothing's place.
  tracing().startResults = {ERROR_ACCESS_DENIED};
  std::uint64_t failed = 0;
  EXPECT_EQ(Start(kName, failed), ERROR_ACCESS_DENIED);
  tracing().Reset();

  // No other id reaches it: not the failed start's, not one never handed out.
  EXPECT_EQ(Finish(kept + 1).result, 6u);
  EXPECT_EQ(Finish(kept + 2).result, 6u);
  EXPECT_EQ(Finish(kept - 1).result, 6u);

  const Finished collected = Finish(kept, static_cast<std::uint32_t>(measured.json.size()));
  EXPECT_EQ(collected.result, 0u);
  EXPECT_EQ(WithoutClock(collected.json), WithoutClock(measured.json));
  EXPECT_EQ(Finish(kept).result, 6u);
}

TEST_F(DnsTraceTest, OnlyATraceThatStartsReplacesAKeptDocument) {
  Registry();
  ASSERT_EQ(SettledRun(1).result, 122u);
  const std::uint64_t kept = lastId_;
  std::uint64_t next = 0;
  ASSERT_EQ(Start(kName, next), 0u);
  EXPECT_EQ(Finish(kept).result, 6u);
  EXPECT_EQ(Finish(next).result, 0u);
}

TEST_F(DnsTraceTest, EmptyRunDocument) {
  Registry();
  const Finished finished = SettledRun();
  ASSERT_EQ(finished.result, 0u);
  const std::regex document(
      "\\{\"events\":\\[\\],\"dropped\":0,\"expired\":false,"
      "\"orvPackets\":\\{\"status\":\"interfaceNotReady\",[^\\]]*\"windows\":\\[\\],\"events\":\\[\\]\\},"
      "\"wfp\":\\{\"status\":\"unavailable\",\"localEndpoint\":false,\"remoteEndpoint\":false,"
      "\"endedUs\":[0-9]+,\"nativeErrorCode\":1764,\"dropped\":0,\"events\":\\[\\],\"rulesTruncated\":false,"
      "\"rules\":\\[\\]\\}\\}");
  EXPECT_TRUE(std::regex_match(finished.json, document)) << finished.json;
}

TEST_F(DnsTraceTest, EventsReachTheDocumentThroughTheConsumer) {
  Registry();
  FakeClientEvent kept(3020);
  kept.Number(L"QueryType", 1).Number(L"Status", 0);
  FakeClientEvent otherProvider(3020);
  otherProvider.record().EventHeader.ProviderId.Data1 ^= 1;
  FakeClientEvent throwing(3019);
  throwing.Number(L"QueryType", 1).Property(L"QueryType").throwsOnRead = true;
  tracing().events = {&kept, &otherProvider, &throwing};

  std::uint64_t id = 0;
  ASSERT_EQ(Start(kName, id), 0u);
  const Finished finished = Finish(id);
  ASSERT_EQ(finished.result, 0u);
  EXPECT_EQ(finished.json.rfind("{\"events\":[{\"id\":3020,\"timeUs\":1704067200000000,\"processId\":4321,"
                                "\"queryType\":1,\"responseStatus\":0}],\"dropped\":1,",
                                0),
            0u)
      << finished.json;
}

TEST_F(DnsTraceTest, RecordWithoutATraceIsIgnored) {
  FakeClientEvent event(3020);
  const int before = FakeClientEvent::LookupCount();
  EVENT_RECORD record = event.record();
  record.UserContext = nullptr;
  dns::DnsTrace::OnEventRecord(&record);
  dns::DnsTrace::OnEventRecord(nullptr);
  EXPECT_EQ(FakeClientEvent::LookupCount(), before);
}

TEST_F(DnsTraceTest, ExpiryStopsButKeepsTheResultsUntilReplaced) {
  Registry(60ms);
  FakeClientEvent kept(3019);
  kept.Number(L"QueryType", 28);
  tracing().events = {&kept};
  std::uint64_t id = 0;
  ASSERT_EQ(Start(kName, id), 0u);
  EXPECT_EQ(tracing().DueTimes(), std::vector<LONGLONG>{-600000LL});
  ASSERT_TRUE(WaitFor([] { return tracing().SessionStops() == 1 && tracing().ConsumersRunning() == 0; }));
  std::this_thread::sleep_for(50ms);  // the callback marks the trace expired once Stop returns
  const Finished finished = Finish(id);
  ASSERT_EQ(finished.result, 0u);
  EXPECT_NE(finished.json.find("{\"events\":[{\"id\":3019,"), std::string::npos) << finished.json;
  EXPECT_NE(finished.json.find(",\"expired\":true,"), std::string::npos) << finished.json;
  EXPECT_EQ(tracing().SessionStops(), 1);

  std::uint64_t expiredId = 0, nextId = 0;
  ASSERT_EQ(Start(kName, expiredId), 0u);
  ASSERT_TRUE(WaitFor([&] { return Start(kName, nextId) == 0; }));
  // The expired trace was destroyed as it was replaced, not merely forgotten.
  EXPECT_EQ(captures_.made.load(), 3);
  EXPECT_EQ(captures_.destroyed.load(), 2);
  EXPECT_EQ(Finish(expiredId).result, 6u);
  EXPECT_EQ(Finish(nextId).result, 0u);
}

TEST_F(DnsTraceTest, StartFinishAndExpiryRace) {
  Registry(1ms);
  const std::set<DWORD> codes = {0, 6, 170};
  std::atomic<int> unexpected{0};
  std::atomic<std::uint64_t> lastId{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 60; ++round) {
        std::uint64_t id = 0;
        const DWORD started = registry_->Start(kName, &id);
        if (!codes.count(started)) ++unexpected;
        if (started == 0) lastId = id;
        if ((round + t) % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(round % 3));
        char buffer[4096];
        std::uint32_t written = 0;
        const DWORD finished = registry_->Finish(started == 0 ? id : lastId.load(),
                                                 reinterpret_cast<std::uint8_t*>(buffer), sizeof buffer, &written);
        if (!codes.count(finished)) ++unexpected;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(unexpected.load(), 0);
  registry_.reset();
  EXPECT_EQ(tracing().SessionStops(), tracing().SessionsStarted());
  EXPECT_EQ(tracing().ConsumerCloses(), tracing().ConsumersOpened());
}

}  // namespace
}  // namespace orv::test
