#include "native/dns/wfp/wfp_drop_collector.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "native/dns/wfp/wfp_drop_state.h"
#include "tests/native/dns/wfp/fake_wfp_engine.h"

namespace {

using namespace std::chrono_literals;
using orv::dns::Collector;
using orv::test::FakeFilter;
using orv::test::FakeWfpEngine;
using orv::test::TestDrop;

class WfpDropCollector : public ::testing::Test {
 protected:
  void SetUp() override { engine().Reset(); }
  void TearDown() override {
    EXPECT_TRUE(engine().WaitUntilAllClosed(5s));
    EXPECT_EQ(engine().subscriptions.load(), engine().unsubscribes.load());
    EXPECT_EQ(engine().allocations.load(), engine().frees.load());
    EXPECT_EQ(engine().OpensNotLocalWinnt(), 0);
  }

  static FakeWfpEngine& engine() { return FakeWfpEngine::Instance(); }

  template <typename Predicate>
  static bool WaitFor(Predicate predicate, std::chrono::milliseconds timeout = 5s) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
      if (std::chrono::steady_clock::now() >= until) return false;
      std::this_thread::sleep_for(2ms);
    }
    return true;
  }

  // Waits for the worker to have made both subscriptions and to be idle.
  static bool WaitSubscribed(int subscriptions = 2) {
    return WaitFor([&] { return engine().subscriptions.load() >= subscriptions; });
  }

  static bool WaitWorkerDone() {
    return WaitFor([] { return engine().opens.load() == engine().closes.load(); });
  }

  static std::uint64_t NowUs() { return orv::dns::WallClockUs(); }

  // The JSON with the three clock values replaced by T.
  static std::string WithoutTimes(std::string json) {
    static const std::regex times("\"(startedUs|endedUs|timeUs|firstDropUs|lookupTimeUs)\":[0-9]+");
    return std::regex_replace(json, times, "\"$1\":T");
  }
};

TEST_F(WfpDropCollector, NeverStartedIsNotStarted) {
  Collector collector(engine().Api());
  EXPECT_EQ(collector.Json(), "{\"status\":\"notStarted\",\"events\":[],\"dropped\":0}");
}

TEST_F(WfpDropCollector, EngineAndOptionFailuresAreUnavailable) {
  const struct {
    const char* what;
    DWORD open;
    DWORD option;
    FWP_DATA_TYPE type;
    DWORD code;
  } rows[] = {
      {"engine open", 1764, 0, FWP_UINT32, 1764},
      {"option read", 0, ERROR_ACCESS_DENIED, FWP_UINT32, 5},
      {"option of another type", 0, 0, FWP_UINT64, 13},
  };
  for (const auto& row : rows) {
    engine().Reset();
    engine().openResult = row.open;
    engine().optionResult = row.option;
    engine().optionType = row.type;
    Collector collector(engine().Api());
    collector.Start();
    const std::string expected = "{\"status\":\"unavailable\",\"localEndpoint\":false,\"remoteEndpoint\":false,"
                                 "\"nativeErrorCode\":" + std::to_string(row.code) +
                                 ",\"dropped\":0,\"events\":[],\"rulesTruncated\":false,\"rules\":[]}";
    EXPECT_TRUE(WaitFor([&] { return collector.Json() == expected; })) << row.what << ": " << collector.Json();
    EXPECT_TRUE(WaitWorkerDone());
  }
}

TEST_F(WfpDropCollector, DisabledCollectionShowsOnlyTheStopTime) {
  engine().optionValue = 0;
  Collector collector(engine().Api());
  collector.Start();
  // The worker closes the engine once it has read the option.
  ASSERT_TRUE(WaitFor([&] { return engine().opens.load() == 1 && engine().closes.load() == 1; }));
  collector.Stop();
  const std::string json = collector.Json();
  EXPECT_EQ(WithoutTimes(json),
            "{\"status\":\"collectionDisabled\",\"localEndpoint\":false,\"remoteEndpoint\":false,\"endedUs\":T,"
            "\"dropped\":0,\"events\":[],\"rulesTruncated\":false,\"rules\":[]}");
  EXPECT_EQ(engine().subscriptions.load(), 0);
}

TEST_F(WfpDropCollector, SubscriptionOutcomes) {
  const struct {
    DWORD local;
    DWORD remote;
    const char* head;
  } rows[] = {
      {ERROR_ACCESS_DENIED, 50, "{\"status\":\"unavailable\",\"localEndpoint\":false,\"remoteEndpoint\":false,"},
      {0, 50, "{\"status\":\"partial\",\"localEndpoint\":true,\"remoteEndpoint\":false,"},
      {50, 0, "{\"status\":\"partial\",\"localEndpoint\":false,\"remoteEndpoint\":true,"},
  };
  for (const auto& row : rows) {
    engine().Reset();
    engine().localSubscribeResult = row.local;
    engine().remoteSubscribeResult = row.remote;
    Collector collector(engine().Api());
    collector.Start();
    ASSERT_TRUE(WaitFor([&] { return engine().RecordedSubscriptions().size() == 2; }));
    collector.Stop();
    ASSERT_TRUE(WaitWorkerDone());
    const std::string json = collector.Json();
    EXPECT_EQ(json.rfind(row.head, 0), 0u) << json;
    const DWORD code = row.local != 0 ? row.local : row.remote;
    EXPECT_NE(json.find(",\"nativeErrorCode\":" + std::to_string(code) + ","), std::string::npos) << json;
  }
}

TEST_F(WfpDropCollector, MissingSubscriptionFunctionsAreUnavailableWith127) {
  orv::dns::WfpEngineApi api = engine().Api();
  api.FwpmNetEventSubscribe1 = nullptr;
  api.FwpmNetEventUnsubscribe0 = nullptr;
  Collector collector(api);
  collector.Start();
  EXPECT_TRUE(WaitFor([&] { return collector.Json().find("\"nativeErrorCode\":127,") != std::string::npos; }))
      << collector.Json();
  EXPECT_EQ(collector.Json().rfind("{\"status\":\"unavailable\",\"localEndpoint\":false,\"remoteEndpoint\":false", 0),
            0u);
  EXPECT_TRUE(WaitWorkerDone());
}

TEST_F(WfpDropCollector, SubscribesToBothEndpointsOfTheDnsServer) {
  Collector collector(engine().Api());
  collector.Start();
  ASSERT_TRUE(WaitSubscribed());
  EXPECT_EQ(engine().lastSessionFlags, static_cast<UINT32>(FWPM_SESSION_FLAG_DYNAMIC));
  const auto recorded = engine().RecordedSubscriptions();
  ASSERT_EQ(recorded.size(), 2u);
  const GUID* addressFields[] = {&FWPM_CONDITION_IP_LOCAL_ADDRESS, &FWPM_CONDITION_IP_REMOTE_ADDRESS};
  const GUID* portFields[] = {&FWPM_CONDITION_IP_LOCAL_PORT, &FWPM_CONDITION_IP_REMOTE_PORT};
  for (size_t i = 0; i < 2; ++i) {
    const auto& s = recorded[i];
    EXPECT_EQ(s.flags, 0u);
    EXPECT_EQ(s.startTime.dwLowDateTime | s.startTime.dwHighDateTime | s.endTime.dwLowDateTime |
                  s.endTime.dwHighDateTime,
              0u);
    ASSERT_EQ(s.conditions.size(), 3u);
    for (const auto& c : s.conditions) EXPECT_EQ(c.matchType, FWP_MATCH_EQUAL);
    EXPECT_TRUE(IsEqualGUID(s.conditions[0].fieldKey, *addressFields[i]));
    EXPECT_EQ(s.conditions[0].conditionValue.type, FWP_UINT32);
    EXPECT_EQ(s.conditions[0].conditionValue.uint32, 0xAC130002u);
    EXPECT_TRUE(IsEqualGUID(s.conditions[1].fieldKey, *portFields[i]));
    EXPECT_EQ(s.conditions[1].conditionValue.type, FWP_UINT16);
    EXPECT_EQ(s.conditions[1].conditionValue.uint16, 53);
    EXPECT_TRUE(IsEqualGUID(s.conditions[2].fieldKey, FWPM_CONDITION_NET_EVENT_TYPE));
    EXPECT_EQ(s.conditions[2].conditionValue.type, FWP_UINT32);
    EXPECT_EQ(s.conditions[2].conditionValue.uint32, 3u);
  }
  EXPECT_EQ(recorded[0].context, recorded[1].context);
  EXPECT_NE(recorded[0].context, nullptr);
  collector.Stop();
}

TEST_F(WfpDropCollector, NoDropsIsNotObserved) {
  Collector collector(engine().Api());
  collector.Start();
  ASSERT_TRUE(WaitSubscribed());
  collector.Stop();
  ASSERT_TRUE(WaitWorkerDone());
  EXPECT_EQ(WithoutTimes(collector.Json()),
            "{\"status\":\"notObserved\",\"localEndpoint\":true,\"remoteEndpoint\":true,\"startedUs\":T,\"endedUs\":T,"
            "\"dropped\":0,\"events\":[],\"rulesTruncated\":false,\"rules\":[]}");
}

TEST_F(WfpDropCollector, OneDropIsObservedWithItsDirection) {
  const struct {
    std::uint32_t direction;
    const char* text;
  } rows[] = {{0, "outbound"}, {0x3901, "outbound"}, {1, "inbound"}, {0x3900, "inbound"}, {0x3902, "forward"},
              {2, "unknown"}};
  for (const auto& row : rows) {
    engine().Reset();
    Collector collector(engine().Api());
    collector.Start();
    ASSERT_TRUE(WaitSubscribed());
    const std::uint64_t at = NowUs();
    TestDrop drop(false, 17, 0, at, row.direction);
    engine().Deliver(drop.event);
    collector.Stop();
    ASSERT_TRUE(WaitWorkerDone());
    const std::string json = collector.Json();
    EXPECT_NE(json.find("\"dropped\":0,\"events\":[{\"timeUs\":" + std::to_string(at) + ",\"direction\":\"" +
                        row.text +
                        "\",\"protocol\":\"udp\",\"resolverEndpoint\":\"remote\",\"localPort\":50000,"
                        "\"remotePort\":53,\"filterId\":\"0\",\"layerId\":48}],\"rulesTruncated\":false,\"rules\":[]}"),
              std::string::npos)
        << json;
    EXPECT_EQ(json.rfind("{\"status\":\"observed\",", 0), 0u) << json;
  }
}

TEST_F(WfpDropCollector, RulesAreLookedUpAndDescribed) {
  FakeFilter filter;
  filter.name = L"Blocker";
  engine().AddFilter(77, filter);
  Collector collector(engine().Api());
  collector.Start();
  ASSERT_TRUE(WaitSubscribed());
  TestDrop drop(true, 6, 77, NowUs());
  engine().Deliver(drop.event);
  engine().Deliver(drop.event);
  ASSERT_TRUE(WaitFor([&] { return collector.Json().find("\"lookupTimeUs\"") != std::string::npos; }));
  collector.Stop();
  ASSERT_TRUE(WaitWorkerDone());
  const std::string json = WithoutTimes(collector.Json());
  EXPECT_NE(json.find("\"protocol\":\"tcp\",\"resolverEndpoint\":\"local\",\"localPort\":53,\"remotePort\":50000,"
                      "\"filterId\":\"77\""),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"rules\":[{\"filterId\":\"77\",\"firstDropUs\":T,\"lookupTimeUs\":T,\"status\":\"resolved\","
                      "\"filterKey\":"),
            std::string::npos)
      << json;
  EXPECT_EQ(engine().filterLookups.load(), 1);

  // A lookup with nothing to say is shown as unavailable.
  engine().Reset();
  Collector second(engine().Api());
  second.Start();
  ASSERT_TRUE(WaitSubscribed());
  TestDrop other(true, 6, 78, NowUs());
  engine().Deliver(other.event);
  ASSERT_TRUE(WaitFor([&] { return second.Json().find("\"lookupTimeUs\"") != std::string::npos; }));
  EXPECT_NE(second.Json().find(",\"status\":\"notFound\",\"nativeErrorCode\":2150760451}]}"), std::string::npos);
  second.Stop();
}

TEST_F(WfpDropCollector, KeepsSixtyFourEventsAndSixteenRules) {
  Collector collector(engine().Api());
  collector.Start();
  ASSERT_TRUE(WaitSubscribed());
  const std::uint64_t at = NowUs();
  for (int i = 0; i < 70; ++i) {
    TestDrop drop(i % 2 == 0, 17, static_cast<std::uint64_t>(i % 17) + 1, at + static_cast<std::uint64_t>(i));
    engine().Deliver(drop.event);
  }
  collector.Stop();
  ASSERT_TRUE(WaitWorkerDone());
  const std::string json = collector.Json();
  EXPECT_EQ(json.rfind("{\"status\":\"partial\",", 0), 0u) << json;
  EXPECT_NE(json.find(",\"dropped\":6,\"events\":["), std::string::npos);
  size_t events = 0;
  for (size_t p = json.find("{\"timeUs\""); p != std::string::npos; p = json.find("{\"timeUs\"", p + 1)) ++events;
  EXPECT_EQ(events, 64u);
  EXPECT_NE(json.find("\"rulesTruncated\":true,\"rules\":["), std::string::npos);
  size_t rules = 0;
  for (size_t p = json.find("{\"filterId\""); p != std::string::npos; p = json.find("{\"filterId\"", p + 1)) ++rules;
  EXPECT_EQ(rules, 16u);
  EXPECT_EQ(json.find("{\"filterId\":\"17\""), std::string::npos);
}

TEST_F(WfpDropCollector, FilterIdZeroIsRecordedWithoutARule) {
  Collector collector(engine().Api());
  collector.Start();
  ASSERT_TRUE(WaitSubscribed());
  TestDrop drop(true, 17, 0, NowUs());
  engine().Deliver(drop.event);
  collector.Stop();
  ASSERT_TRUE(WaitWorkerDone());
  const std::string json = collector.Json();
  EXPECT_NE(json.find("\"filterId\":\"0\""), std::string::npos);
  EXPECT_NE(json.find("\"rules\":[]}"), std::string::npos) << json;
}

TEST_F(WfpDropCollector, IgnoresWhatIsNotADnsDrop) {
  Collector collector(engine().Api());
  collector.Start();
  ASSERT_TRUE(WaitSubscribed());
  const std::uint64_t now = NowUs();
  auto deliver = [&](auto change) {
    TestDrop drop(true, 17, 9, now);
    change(drop);
    engine().DeliverToAll(drop.event);  // the callback must check for itself
  };
  deliver([](TestDrop& d) { d.event.header.ipVersion = FWP_IP_VERSION_V6; });
  deliver([](TestDrop& d) { d.event.header.ipProtocol = 1; });
  deliver([](TestDrop& d) { d.event.header.localPort = 5353; });
  deliver([](TestDrop& d) { d.event.header.localAddrV4 = 0x020013AC; });  // the server, in the wrong byte order
  deliver([](TestDrop& d) { d.event.header.flags &= ~FWPM_NET_EVENT_FLAG_IP_PROTOCOL_SET; });
  deliver([](TestDrop& d) { d.event.header.flags &= ~FWPM_NET_EVENT_FLAG_IP_VERSION_SET; });
  deliver([](TestDrop& d) { d.event.header.flags &= ~FWPM_NET_EVENT_FLAG_LOCAL_PORT_SET; });
  deliver([](TestDrop& d) { d.event.type = FWPM_NET_EVENT_TYPE_IPSEC_KERNEL_DROP; });
  deliver([](TestDrop& d) { d.event.classifyDrop = nullptr; });
  deliver([](TestDrop& d) { d.event.header.timeStamp = {}; });
  deliver([](TestDrop& d) { d.event.header.timeStamp = orv::test::FileTimeOfUs(1000000); });  // before the start
  orv::dns::OnNetEvent(reinterpret_cast<void*>(1), nullptr);
  collector.Stop();
  deliver([](TestDrop&) {});  // after Stop
  ASSERT_TRUE(WaitWorkerDone());
  const std::string json = collector.Json();
  EXPECT_EQ(json.rfind("{\"status\":\"notObserved\",", 0), 0u) << json;
}

TEST_F(WfpDropCollector, TheDeadlineEndsTheCollection) {
  Collector collector(engine().Api(1s));
  collector.Start();
  ASSERT_TRUE(WaitFor([] { return engine().opens.load() == 1; }));
  ASSERT_TRUE(WaitWorkerDone());
  ASSERT_EQ(engine().subscriptions.load(), 2);
  const std::string json = collector.Json();
  EXPECT_EQ(WithoutTimes(json).rfind("{\"status\":\"partial\",\"localEndpoint\":true,\"remoteEndpoint\":true,"
                                     "\"startedUs\":T,\"endedUs\":T,",
                                     0),
            0u)
      << json;
  TestDrop late(true, 17, 1, NowUs());
  engine().Deliver(late.event);
  EXPECT_EQ(collector.Json(), json);
}

TEST_F(WfpDropCollector, DropsPastTheDeadlineAreRefusedBeforeTheWorkerNotices) {
  engine().lookupDelay = 3s;  // the worker is inside a lookup when the deadline passes
  const auto started = std::chrono::steady_clock::now();
  Collector collector(engine().Api(1s));
  collector.Start();
  ASSERT_TRUE(WaitSubscribed());
  TestDrop first(true, 17, 1, NowUs());
  engine().Deliver(first.event);
  ASSERT_TRUE(WaitFor([] { return engine().filterLookups.load() == 1; }));
  std::this_thread::sleep_until(started + 1300ms);
  ASSERT_EQ(collector.Json().find("\"endedUs\""), std::string::npos) << "the worker has already ended it";
  TestDrop late(true, 17, 2, NowUs());
  engine().Deliver(late.event);
  const std::string json = collector.Json();
  EXPECT_NE(json.find("\"filterId\":\"1\""), std::string::npos) << json;
  EXPECT_EQ(json.find("\"filterId\":\"2\""), std::string::npos) << json;
  collector.Stop();
  ASSERT_TRUE(WaitWorkerDone());
}

TEST_F(WfpDropCollector, StopKeepsTheFirstEndAndMayComeBeforeSubscribing) {
  Collector collector(engine().Api());
  collector.Start();
  ASSERT_TRUE(WaitSubscribed());
  collector.Stop();
  const std::string first = collector.Json();
  std::this_thread::sleep_for(5ms);
  collector.Stop();
  EXPECT_EQ(collector.Json(), first);
  ASSERT_TRUE(WaitWorkerDone());

  engine().Reset();
  engine().openDelay = 100ms;
  Collector early(engine().Api());
  early.Start();
  early.Stop();
  ASSERT_TRUE(WaitFor([] { return engine().opens.load() == 1; }));
  ASSERT_TRUE(WaitWorkerDone());
  EXPECT_EQ(WithoutTimes(early.Json()),
            "{\"status\":\"partial\",\"localEndpoint\":false,\"remoteEndpoint\":false,\"endedUs\":T,"
            "\"dropped\":0,\"events\":[],\"rulesTruncated\":false,\"rules\":[]}");
  EXPECT_EQ(engine().subscriptions.load(), 0);
}

TEST_F(WfpDropCollector, ASlowLookupDelaysNeitherEventsNorStop) {
  engine().lookupDelay = 1500ms;
  Collector collector(engine().Api());
  collector.Start();
  ASSERT_TRUE(WaitSubscribed());
  const std::uint64_t at = NowUs();
  TestDrop first(true, 17, 1, at);
  engine().Deliver(first.event);
  ASSERT_TRUE(WaitFor([] { return engine().filterLookups.load() == 1; }));
  const auto before = std::chrono::steady_clock::now();
  TestDrop second(true, 17, 2, at + 1);
  engine().Deliver(second.event);
  collector.Stop();
  const std::string json = collector.Json();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1000ms);  // a hang guard, not a speed target
  EXPECT_NE(json.find("{\"filterId\":\"2\",\"firstDropUs\":" + std::to_string(at + 1) + ",\"status\":\"pending\"}"),
            std::string::npos)
      << json;
  ASSERT_TRUE(WaitWorkerDone());
}

TEST_F(WfpDropCollector, ANewCollectorTakesOverFromTheOld) {
  auto first = std::make_unique<Collector>(engine().Api());
  first->Start();
  ASSERT_TRUE(WaitSubscribed(2));
  auto second = std::make_unique<Collector>(engine().Api());
  second->Start();
  ASSERT_TRUE(WaitSubscribed(4));
  const auto recorded = engine().RecordedSubscriptions();
  ASSERT_EQ(recorded.size(), 4u);
  EXPECT_NE(recorded[0].context, recorded[2].context);

  TestDrop drop(true, 17, 5, NowUs());
  engine().Deliver(drop.event);  // reaches the first collector's callbacks too
  EXPECT_EQ(first->Json().find("\"timeUs\""), std::string::npos);
  EXPECT_NE(second->Json().find("\"timeUs\""), std::string::npos);

  // Callbacks with the first one's context after it was unsubscribed and destroyed.
  first->Stop();
  first.reset();
  ASSERT_TRUE(WaitFor([] { return engine().unsubscribes.load() == 2; }));
  orv::dns::OnNetEvent(recorded[0].context, &drop.event);
  // The first one's clean-up left the registry to the second: its drops still arrive.
  TestDrop later(false, 17, 6, NowUs());
  engine().Deliver(later.event);
  second->Stop();
  EXPECT_NE(second->Json().find(",\"dropped\":0,"), std::string::npos);
  size_t events = 0;
  const std::string json = second->Json();
  for (size_t p = json.find("{\"timeUs\""); p != std::string::npos; p = json.find("{\"timeUs\"", p + 1)) ++events;
  EXPECT_EQ(events, 2u) << json;
  EXPECT_NE(json.find("\"filterId\":\"6\""), std::string::npos) << json;
}

TEST_F(WfpDropCollector, SurvivesCallbacksWhileCollectorsComeAndGo) {
  std::atomic<bool> running{true};
  std::vector<std::thread> sources;
  for (int t = 0; t < 3; ++t) {
    sources.emplace_back([&, t] {
      std::uint64_t n = 0;
      while (running) {
        TestDrop drop(t % 2 == 0, 17, ++n % 20, orv::dns::WallClockUs());
        engine().DeliverToAll(drop.event);
        for (void* context : {reinterpret_cast<void*>(1), reinterpret_cast<void*>(n)}) {
          orv::dns::OnNetEvent(context, &drop.event);
        }
      }
    });
  }
  for (int round = 0; round < 60; ++round) {
    Collector collector(engine().Api(round % 3 == 0 ? 5ms : 2s));
    collector.Start();
    if (round % 2 == 0) std::this_thread::sleep_for(2ms);
    collector.Stop();
    (void)collector.Json();
  }
  running = false;
  for (auto& source : sources) source.join();
  // Every worker opens an engine; only then does "all closed" mean "all done".
  ASSERT_TRUE(WaitFor([] { return engine().opens.load() == 60; }, 10s)) << engine().opens.load();
  ASSERT_TRUE(engine().WaitUntilAllClosed(10s));
  EXPECT_EQ(engine().subscriptions.load(), engine().unsubscribes.load());
}

TEST_F(WfpDropCollector, TheRealEngineIsUnavailableUnderThisPlatform) {
  // The production table against this machine's filtering platform, which
  // cannot open an engine here; the process goes on.
  Collector collector;
  collector.Start();
  EXPECT_TRUE(WaitFor([&] { return collector.Json().find("\"status\":\"unavailable\"") != std::string::npos; }, 10s))
      << collector.Json();
  EXPECT_EQ(collector.Json().rfind(
                "{\"status\":\"unavailable\",\"localEndpoint\":false,\"remoteEndpoint\":false,\"nativeErrorCode\":1764,",
                0),
            0u)
      << collector.Json();
  collector.Stop();
}

}  // namespace
