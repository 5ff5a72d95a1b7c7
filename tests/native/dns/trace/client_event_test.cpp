// DNS client event records: which events a trace keeps, and the exact object
// each one becomes.

#include <gtest/gtest.h>

#include <string>

#include "native/dns/trace/canonical_address.h"
#include "native/dns/trace/client_event.h"
#include "native/dns/trace/event_properties.h"
#include "tests/native/dns/trace/fake_tdh.h"

namespace orv::dns {
namespace {

using test::FakeClientEvent;

constexpr DWORD kOwnPid = 777;

class ClientEvents : public ::testing::Test {
 protected:
  void Record(const FakeClientEvent& event) { RecordClientEvent(tdh_, event.record(), kOwnPid, log_); }

  // A 3010 that every acceptance step lets through.
  static FakeClientEvent Sent(const std::wstring& name = L"example.org") {
    FakeClientEvent event(3010, name);
    event.Number(L"QueryType", 1).Text(L"DnsServerIpAddress", L"172.19.0.2").Number(L"ClientPID", kOwnPid);
    return event;
  }

  TdhApi tdh_ = test::FakeTdh();
  ClientEventLog log_{"example.org", {}, 0};
};

TEST_F(ClientEvents, AcceptanceInOrder) {
  struct Case {
    const char* what;
    FakeClientEvent event;
    std::size_t kept;
    std::uint64_t dropped;
  };
  FakeClientEvent otherId = Sent();
  otherId.record().EventHeader.EventDescriptor.Id = 3008;
  FakeClientEvent pidZero = Sent();
  pidZero.Number(L"ClientPID", 0);
  FakeClientEvent pidAbsent = Sent();
  pidAbsent.Remove(L"ClientPID");
  FakeClientEvent otherPid = Sent();
  otherPid.Number(L"ClientPID", kOwnPid + 1);
  FakeClientEvent before1970 = Sent();
  before1970.record().EventHeader.TimeStamp.QuadPart = 116444735999999999LL;
  FakeClientEvent negativeTime = Sent();
  negativeTime.record().EventHeader.TimeStamp.QuadPart = -1;
  FakeClientEvent emptyServer = Sent();
  emptyServer.Text(L"DnsServerIpAddress", L"");
  FakeClientEvent badServer = Sent();
  badServer.Text(L"DnsServerIpAddress", L"dns.example");
  FakeClientEvent noQueryType = Sent();
  noQueryType.Remove(L"QueryType");
  FakeClientEvent answerBadServer = Sent();
  answerBadServer.record().EventHeader.EventDescriptor.Id = 3011;
  answerBadServer.Text(L"DnsServerIpAddress", L"300.1.1.1");
  FakeClientEvent noName = Sent();
  noName.Remove(L"QueryName");

  const Case cases[] = {
      {"id not kept", otherId, 0, 0},
      {"same name", Sent(), 1, 0},
      {"upper case and a trailing dot", Sent(L"Example.ORG."), 1, 0},
      {"another name", Sent(L"example.com"), 0, 0},
      {"a refused name", Sent(L"exa_mple.org"), 0, 0},
      {"no name", noName, 0, 0},
      {"ClientPID 0", pidZero, 1, 0},
      {"ClientPID absent", pidAbsent, 1, 0},
      {"another ClientPID", otherPid, 0, 0},
      {"before 1970", before1970, 0, 1},
      {"negative time stamp", negativeTime, 0, 1},
      {"empty server", emptyServer, 0, 1},
      {"server that is not an address", badServer, 0, 1},
      {"no query type", noQueryType, 0, 1},
      {"3011 with an unparsable server", answerBadServer, 0, 1},
  };
  for (const Case& c : cases) {
    log_.events.clear();
    log_.dropped = 0;
    Record(c.event);
    EXPECT_EQ(log_.events.size(), c.kept) << c.what;
    EXPECT_EQ(log_.dropped, c.dropped) << c.what;
  }
  EXPECT_EQ(FakeClientEvent::BadDescriptorCount(), 0);
}

TEST_F(ClientEvents, KeepsAtMost128) {
  for (int i = 0; i < 128; ++i) Record(Sent());
  EXPECT_EQ(log_.events.size(), 128u);
  EXPECT_EQ(log_.dropped, 0u);
  Record(Sent());
  Record(Sent(L"example.com"));  // ignored, not counted even when full
  EXPECT_EQ(log_.events.size(), 128u);
  EXPECT_EQ(log_.dropped, 1u);
}

TEST_F(ClientEvents, NumberPropertyMustBeFourBytes) {
  FakeClientEvent event(3019);
  event.Bytes(L"Two", {0x34, 0x12}).Number(L"Four", 0x12345678).Bytes(L"Five", {1, 2, 3, 4, 5});
  event.Number(L"SizeFails", 1).Property(L"SizeFails").sizeResult = ERROR_NOT_FOUND;
  event.Number(L"ReadFails", 1).Property(L"ReadFails").readResult = ERROR_EVT_INVALID_EVENT_DATA;
  EXPECT_FALSE(ReadNumberProperty(tdh_, event.record(), L"Two"));
  EXPECT_EQ(ReadNumberProperty(tdh_, event.record(), L"Four"), 0x12345678u);
  EXPECT_FALSE(ReadNumberProperty(tdh_, event.record(), L"Five"));
  EXPECT_FALSE(ReadNumberProperty(tdh_, event.record(), L"SizeFails"));
  EXPECT_FALSE(ReadNumberProperty(tdh_, event.record(), L"ReadFails"));
  EXPECT_FALSE(ReadNumberProperty(tdh_, event.record(), L"Missing"));
}

TEST_F(ClientEvents, TextPropertyLimits) {
  FakeClientEvent event(3019);
  event.Bytes(L"Empty", {});
  event.Bytes(L"Large", std::vector<BYTE>(513, 'a'));
  event.Bytes(L"Odd", {'a', 0, 'b', 0, 'c', 0, 'd'});
  event.Bytes(L"NoNul", {'a', 0, 'b', 0});
  event.Bytes(L"Full", std::vector<BYTE>(512, 'a'));
  event.Text(L"Cut", std::wstring(L"ab\0cd", 5));
  event.Text(L"ReadFails", L"ab").Property(L"ReadFails").readResult = ERROR_EVT_INVALID_EVENT_DATA;
  EXPECT_EQ(ReadTextProperty(tdh_, event.record(), L"Empty"), L"");
  EXPECT_EQ(ReadTextProperty(tdh_, event.record(), L"Large"), L"");
  EXPECT_EQ(ReadTextProperty(tdh_, event.record(), L"Odd"), L"");
  EXPECT_EQ(ReadTextProperty(tdh_, event.record(), L"NoNul"), L"ab");
  EXPECT_EQ(ReadTextProperty(tdh_, event.record(), L"Full"), std::wstring(256, L'\x6161'));
  EXPECT_EQ(ReadTextProperty(tdh_, event.record(), L"Cut"), L"ab");
  EXPECT_EQ(ReadTextProperty(tdh_, event.record(), L"ReadFails"), L"");
}

TEST(CanonicalAddress, Forms) {
  const struct {
    const wchar_t* text;
    const wchar_t* canonical;
  } cases[] = {
      {L"  172.19.0.2 ;", L"172.19.0.2"},
      {L"\t172.19.0.2,\r\n", L"172.19.0.2"},
      {L"172.19.0.2, 10.0.0.1", L""},
      {L"2001:0DB8:0:0:0:0:0:1", L"2001:db8::1"},
      {L"fe80::1%12", L"fe80::1%12"},
      {L"FE80:0::1%1234567890", L"fe80::1%1234567890"},
      {L"fe80::1%12345678901", L""},
      {L"fe80::1%1a", L""},
      {L"fe80::1%", L""},
      {L"172.19.0.2%3", L""},
      {L"; ,", L""},
      {L"", L""},
      {L"host.example", L""},
      {L"172.19.0.256", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(CanonicalAddress(c.text), c.canonical) << c.text;

  // Longer than any address can be: refused before parsing.
  EXPECT_EQ(CanonicalAddress(std::wstring(65, L'1')), L"");
  EXPECT_EQ(CanonicalAddress(L"fe80::1%" + std::wstring(10, L'1')), L"fe80::1%1111111111");
}

TEST_F(ClientEvents, TextFields) {
  auto adapterOf = [&](const std::wstring& adapter) {
    log_.events.clear();
    FakeClientEvent event(3009);
    event.Text(L"AdapterName", adapter);
    Record(event);
    EXPECT_EQ(log_.events.size(), 1u);
    return log_.events.empty() ? std::string() : log_.events.back();
  };
  const std::string a128 = adapterOf(std::wstring(128, L'a'));
  EXPECT_NE(a128.find(",\"adapter\":\"" + std::string(128, 'a') + "\""), std::string::npos) << a128;
  EXPECT_EQ(adapterOf(std::wstring(129, L'a')).find("adapter"), std::string::npos);
  EXPECT_EQ(adapterOf(std::wstring(L"Eth\xD800" L"0")).find("adapter"), std::string::npos);
  EXPECT_NE(adapterOf(L"Eth\t0").find(",\"adapter\":\"Eth?0\""), std::string::npos);
  EXPECT_NE(adapterOf(L"a\"b\\c").find(",\"adapter\":\"a\\\"b\\\\c\""), std::string::npos);
  EXPECT_NE(adapterOf(L"Ether\x00E9t \x4E2D").find(",\"adapter\":\"Ether\xC3\xA9t \xE4\xB8\xAD\""), std::string::npos);
}

TEST_F(ClientEvents, ExactObjects) {
  const std::string head = "{\"id\":%ID%,\"timeUs\":1704067200000000,\"clientPid\":777,\"processId\":4321";
  auto headOf = [&](int id) {
    std::string h = head;
    h.replace(h.find("%ID%"), 4, std::to_string(id));
    return h;
  };
  FakeClientEvent e3009(3009);
  e3009.Number(L"ClientPID", kOwnPid).Number(L"InterfaceCount", 2).Number(L"NetworkIndex", 5);
  e3009.Text(L"AdapterName", L"Orv-net").Text(L"LocalAddress", L" 172.19.0.1;").Text(L"DNSServerAddress", L"172.19.0.2");
  FakeClientEvent e3010 = Sent();
  FakeClientEvent e3011 = Sent();
  e3011.record().EventHeader.EventDescriptor.Id = 3011;
  e3011.Number(L"ResponseStatus", 9003).Number(L"Status", 1);
  FakeClientEvent e3019(3019);
  e3019.Number(L"ClientPID", kOwnPid).Number(L"QueryType", 28).Number(L"InterfaceIndex", 7).Number(L"NetworkIndex", 3);
  e3019.Number(L"Status", 5);
  FakeClientEvent e3020 = e3019;
  e3020.record().EventHeader.EventDescriptor.Id = 3020;
  e3020.Number(L"ResponseStatus", 6);

  const struct {
    FakeClientEvent* event;
    std::string body;
  } cases[] = {
      {&e3009,
       headOf(3009) +
           ",\"interfaceCount\":2,\"networkIndex\":5,\"adapter\":\"Orv-net\",\"localAddress\":\"172.19.0.1\","
           "\"server\":\"172.19.0.2\"}"},
      {&e3010, headOf(3010) + ",\"queryType\":1,\"server\":\"172.19.0.2\"}"},
      {&e3011, headOf(3011) + ",\"queryType\":1,\"server\":\"172.19.0.2\",\"responseStatus\":9003}"},
      {&e3019, headOf(3019) + ",\"queryType\":28,\"interfaceIndex\":7,\"networkIndex\":3}"},
      {&e3020, headOf(3020) + ",\"queryType\":28,\"interfaceIndex\":7,\"networkIndex\":3,\"responseStatus\":5}"},
  };
  const GUID activity = {0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
  const std::string activityField = ",\"activity\":\"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}\"";
  for (const auto& c : cases) {
    log_.events.clear();
    Record(*c.event);
    ASSERT_EQ(log_.events.size(), 1u) << c.body;
    EXPECT_EQ(log_.events[0], c.body);

    FakeClientEvent withActivity = *c.event;
    withActivity.record().EventHeader.ActivityId = activity;
    log_.events.clear();
    Record(withActivity);
    ASSERT_EQ(log_.events.size(), 1u);
    std::string expected = c.body;
    expected.insert(expected.find(",", expected.find("processId")), activityField);
    EXPECT_EQ(log_.events[0], expected);
  }
}

TEST_F(ClientEvents, AbsentFieldsAreLeftOut) {
  FakeClientEvent bare(3009);
  Record(bare);
  FakeClientEvent answer(3020);
  answer.Bytes(L"QueryType", {1, 0});
  Record(answer);
  ASSERT_EQ(log_.events.size(), 2u);
  EXPECT_EQ(log_.events[0], "{\"id\":3009,\"timeUs\":1704067200000000,\"processId\":4321}");
  EXPECT_EQ(log_.events[1], "{\"id\":3020,\"timeUs\":1704067200000000,\"processId\":4321}");
}

}  // namespace
}  // namespace orv::dns
