// The whole trace document with the production capture and collector, on
// this platform's real interface tables (no accelerator link) and its
// filtering platform, with fake event tracing delivering DNS client events.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "native/dns/trace/trace_registry.h"
#include "standin/codec/json_value.h"
#include "tests/native/dns/trace/fake_event_tracing.h"
#include "tests/native/dns/trace/fake_tdh.h"
#include "tests/support/document_archive.h"
#include "tests/support/test_namespace.h"

namespace orv::test {
namespace {

using standin::JsonValue;

std::string TextOf(const JsonValue& object, const char* key) {
  const JsonValue* value = object.Find(key);
  return value != nullptr && value->is(JsonValue::Kind::kString) ? value->text : "<absent>";
}

std::int64_t NumberOf(const JsonValue& object, const char* key) {
  const JsonValue* value = object.Find(key);
  return value != nullptr && value->is(JsonValue::Kind::kInteger) ? value->integer : -1;
}

TEST(TraceDocument, ProductionCaptureAndCollectorWithDeliveredEvents) {
  const std::string why = WhyNotInTestNamespace();
  ASSERT_TRUE(why.empty()) << why;

  FakeEventTracing& tracing = FakeEventTracing::Instance();
  tracing.Reset();
  FakeClientEvent sent(3010, L"host.test");
  sent.Number(L"QueryType", 1).Text(L"DnsServerIpAddress", L"172.19.0.2");
  FakeClientEvent answered(3020, L"HOST.test.");
  answered.Number(L"QueryType", 1).Number(L"InterfaceIndex", 3).Number(L"Status", 0);
  tracing.events = {&sent, &answered};

  dns::TracePlatform platform;  // the production capture and collector
  platform.tracing = tracing.Api();
  platform.tdh = FakeTdh();
  dns::TraceRegistry registry(platform);
  std::uint64_t id = 0;
  ASSERT_EQ(registry.Start(L"host.test", &id), 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the collector meets the engine error
  std::string buffer(65536, '\0');
  std::uint32_t written = 0;
  ASSERT_EQ(registry.Finish(id, reinterpret_cast<std::uint8_t*>(buffer.data()), 65536, &written), 0u);
  const std::string json = buffer.substr(0, written);
  ArchiveDocument("dns-trace", json);  // checked against the published schema

  JsonValue document;
  std::string error;
  ASSERT_TRUE(standin::ParseJson(json, document, error)) << error << "\n" << json;
  ASSERT_TRUE(document.is(JsonValue::Kind::kObject)) << json;

  const JsonValue* events = document.Find("events");
  ASSERT_NE(events, nullptr);
  ASSERT_EQ(events->items.size(), 2u) << json;
  EXPECT_EQ(NumberOf(events->items[0], "id"), 3010);
  EXPECT_EQ(TextOf(events->items[0], "server"), "172.19.0.2");
  EXPECT_EQ(NumberOf(events->items[1], "id"), 3020);
  EXPECT_EQ(NumberOf(events->items[1], "interfaceIndex"), 3);
  EXPECT_EQ(NumberOf(events->items[1], "responseStatus"), 0);
  EXPECT_EQ(NumberOf(document, "dropped"), 0);
  EXPECT_EQ(document.Find("dnsClientErrorCode"), nullptr);

  const JsonValue* packets = document.Find("orvPackets");
  ASSERT_NE(packets, nullptr);
  EXPECT_EQ(TextOf(*packets, "status"), "interfaceNotReady") << json;
  const JsonValue* windows = packets->Find("windows");
  ASSERT_NE(windows, nullptr);
  EXPECT_TRUE(windows->is(JsonValue::Kind::kArray) && windows->items.empty()) << json;

  const JsonValue* wfp = document.Find("wfp");
  ASSERT_NE(wfp, nullptr);
  EXPECT_EQ(TextOf(*wfp, "status"), "unavailable") << json;
  EXPECT_EQ(NumberOf(*wfp, "nativeErrorCode"), 1764) << json;
}

}  // namespace
}  // namespace orv::test
