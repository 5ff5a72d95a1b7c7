// The capture's JSON text, whole, for each status.

#include <gtest/gtest.h>

#include <string>

#include "native/dns/capture/capture_json.h"

namespace orv::dns {
namespace {

std::string Json(const CaptureRecord& record) {
  std::string json = "prefix:";
  AppendCaptureJson(json, record);
  return json;
}

constexpr const char* kFixed =
    "\"captureLayer\":\"windowsIpLayerAtOrvNet\",\"serverAddress\":\"172.19.0.2\",\"serverPort\":53,"
    "\"coverage\":\"ipv4UdpAndCompleteTcpMessages\",";

TEST(CaptureJson, NoErrorNoWindowIsInterfaceNotReady) {
  CaptureRecord record("host.test");
  record.SetExpired(true);
  EXPECT_EQ(Json(record), std::string("prefix:{\"status\":\"interfaceNotReady\",") + kFixed +
                              "\"errorCode\":0,\"expired\":true,\"dropped\":0,\"unparsedTcpSegments\":0,"
                              "\"fragmentedEndpointPackets\":0,\"windows\":[],\"events\":[]}");
}

TEST(CaptureJson, ErrorWithoutWindowIsUnavailable) {
  CaptureRecord record("");
  record.RecordError(87);
  EXPECT_EQ(Json(record), std::string("prefix:{\"status\":\"unavailable\",") + kFixed +
                              "\"errorCode\":87,\"expired\":false,\"dropped\":0,\"unparsedTcpSegments\":0,"
                              "\"fragmentedEndpointPackets\":0,\"windows\":[],\"events\":[]}");
}

class CaptureJsonWithTraffic : public ::testing::Test {
 protected:
  CaptureJsonWithTraffic() {
    EXPECT_TRUE(record_.OpenWindow(12, 1'765'000'000'000'000));
    record_.EndOpenWindow(1'765'000'001'000'000);
    EXPECT_TRUE(record_.OpenWindow(4294967295u, 1'765'000'002'000'000));
    CaptureEvent query;
    query.timeUs = 1'765'000'002'000'001;
    query.clientAddress = 0xAC130001;
    query.interfaceIndex = 4294967295u;
    query.transactionId = 65535;
    query.clientPort = 50000;
    query.queryType = 28;
    query.transport = DnsTransport::kTcp;
    EXPECT_TRUE(record_.RecordEvent(query));
    CaptureEvent reply = query;
    reply.timeUs += 9;
    reply.stage = DnsStage::kReply;
    reply.transport = DnsTransport::kUdp;
    reply.queryType = 1;
    reply.responseCode = 15;
    EXPECT_TRUE(record_.RecordEvent(reply));
    record_.CountUnparsedTcpSegment();
    record_.CountFragmentedEndpointPacket();
    record_.CountFragmentedEndpointPacket();
  }

  static std::string Rest(const char* errorCode) {
    return std::string(kFixed) + "\"errorCode\":" + errorCode +
           ",\"expired\":false,\"dropped\":0,\"unparsedTcpSegments\":1,\"fragmentedEndpointPackets\":2,"
           "\"windows\":[{\"interfaceIndex\":12,\"startedUs\":1765000000000000,\"endedUs\":1765000001000000},"
           "{\"interfaceIndex\":4294967295,\"startedUs\":1765000002000000,\"endedUs\":0}],"
           "\"events\":[{\"timeUs\":1765000002000001,\"stage\":\"orvInterfaceQuery\",\"transport\":\"tcp\","
           "\"interfaceIndex\":4294967295,\"queryType\":28,\"transactionId\":65535,\"clientPort\":50000},"
           "{\"timeUs\":1765000002000010,\"stage\":\"orvInterfaceReply\",\"transport\":\"udp\","
           "\"interfaceIndex\":4294967295,\"queryType\":1,\"transactionId\":65535,\"clientPort\":50000,"
           "\"responseCode\":15}]}";
  }

  CaptureRecord record_{"host.test"};
};

TEST_F(CaptureJsonWithTraffic, NoErrorWithWindowsIsArmed) {
  EXPECT_EQ(Json(record_), "prefix:{\"status\":\"armed\"," + Rest("0"));
}

TEST_F(CaptureJsonWithTraffic, ErrorWithWindowsIsPartial) {
  record_.RecordError(4294967295u);
  EXPECT_EQ(Json(record_), "prefix:{\"status\":\"partial\"," + Rest("4294967295"));
}

}  // namespace
}  // namespace orv::dns
