// The packet entry point, fed with packets built byte by byte.

#include <gtest/gtest.h>

#include "native/dns/capture/capture_packet.h"
#include "native/dns/capture/dns_message.h"
#include "tests/native/dns/capture/dns_packet_builder.h"

namespace orv::dns {
namespace {

using testing::Append;
using testing::Bytes;
using testing::DnsMessage;
using testing::DnsQuery;
using testing::DnsReply;
using testing::Endpoint;
using testing::TcpFramed;
using testing::TcpPacket;
using testing::UdpPacket;

const Endpoint kClient{testing::kAdapter, 50000};
const Endpoint kServer{testing::kServer, 53};
constexpr std::uint32_t kInterface = 7;

class CapturePacketTest : public ::testing::Test {
 protected:
  void Feed(const Bytes& packet, std::uint64_t timeUs = 1'000'000, std::uint32_t interfaceIndex = kInterface) {
    ParseCapturedPacket(record_, packet.data(), packet.size(), interfaceIndex, timeUs);
  }
  void ExpectNothingCounted() {
    EXPECT_TRUE(record_.events().empty());
    EXPECT_EQ(record_.dropped(), 0u);
    EXPECT_EQ(record_.unparsedTcpSegments(), 0u);
    EXPECT_EQ(record_.fragmentedEndpointPackets(), 0u);
  }
  // A reply without a question, as some servers send on errors.
  static Bytes BareReply(std::uint16_t id, std::uint8_t responseCode = 2) {
    return DnsMessage(id, true, 0, {}, responseCode);
  }

  CaptureRecord record_{"host.test"};
};

TEST_F(CapturePacketTest, UdpQueryAndReplyForTheTracedName) {
  Feed(UdpPacket(kClient, kServer, DnsQuery(0x1234, "host.test", 1)), 100);
  Feed(UdpPacket(kServer, kClient, DnsReply(0x1234, "Host.Test", 1, 3)), 200);
  ASSERT_EQ(record_.events().size(), 2u);
  const CaptureEvent& query = record_.events()[0];
  EXPECT_EQ(query.stage, DnsStage::kQuery);
  EXPECT_EQ(query.transport, DnsTransport::kUdp);
  EXPECT_EQ(query.timeUs, 100u);
  EXPECT_EQ(query.clientAddress, 0xAC130001u);
  EXPECT_EQ(query.interfaceIndex, kInterface);
  EXPECT_EQ(query.transactionId, 0x1234);
  EXPECT_EQ(query.clientPort, 50000);
  EXPECT_EQ(query.queryType, 1);
  const CaptureEvent& reply = record_.events()[1];
  EXPECT_EQ(reply.stage, DnsStage::kReply);
  EXPECT_EQ(reply.clientAddress, 0xAC130001u);
  EXPECT_EQ(reply.clientPort, 50000);
  EXPECT_EQ(reply.responseCode, 3);
  EXPECT_EQ(reply.timeUs, 200u);
}

TEST_F(CapturePacketTest, OtherNamesAndWrongHeadersAreIgnored) {
  Feed(UdpPacket(kClient, kServer, DnsQuery(1, "other.test", 1)));
  Feed(UdpPacket(kServer, kClient, DnsReply(1, "other.test", 1)));
  // QR bit against the direction, and a status request (opcode 2).
  Feed(UdpPacket(kServer, kClient, DnsQuery(2, "host.test", 1)));
  Feed(UdpPacket(kClient, kServer, DnsReply(3, "host.test", 1)));
  Feed(UdpPacket(kClient, kServer, DnsMessage(4, false, 1, testing::Question("host.test", 1), 0, 2)));
  Feed(UdpPacket(kClient, kServer, Bytes(11, 0)));
  ExpectNothingCounted();
}

TEST_F(CapturePacketTest, OnlyTrafficWithExactlyOneServerEnd) {
  const Endpoint a{{10, 1, 2, 3}, 40000};
  const Endpoint b{{10, 1, 2, 4}, 53};
  Feed(UdpPacket(a, b, DnsQuery(1, "host.test", 1)));
  Feed(UdpPacket(kServer, kServer, DnsQuery(1, "host.test", 1)));
  Feed(UdpPacket(kServer, kServer, DnsReply(1, "host.test", 1)));
  Bytes fragment = UdpPacket(a, b, DnsQuery(1, "host.test", 1));
  fragment[6] = 0x20;  // more fragments
  Feed(fragment);
  ExpectNothingCounted();
}

TEST_F(CapturePacketTest, PortsMustBe53AtTheServerAndNonZeroAtTheClient) {
  Feed(UdpPacket(kClient, {testing::kServer, 5353}, DnsQuery(1, "host.test", 1)));
  Feed(UdpPacket({testing::kAdapter, 0}, kServer, DnsQuery(1, "host.test", 1)));
  Feed(UdpPacket({testing::kServer, 5353}, kClient, DnsReply(1, "host.test", 1)));
  Feed(UdpPacket({testing::kAdapter, 53}, {testing::kServer, 50000}, DnsQuery(1, "host.test", 1)));
  ExpectNothingCounted();
}

TEST_F(CapturePacketTest, FragmentsToTheServerAreCountedNotParsed) {
  Bytes moreFragments = UdpPacket(kClient, kServer, DnsQuery(1, "host.test", 1));
  moreFragments[6] = 0x20;
  Feed(moreFragments);
  Bytes lastFragment = UdpPacket(kServer, kClient, DnsReply(1, "host.test", 1));
  lastFragment[6] = 0x00;
  lastFragment[7] = 0x03;
  Feed(lastFragment);
  EXPECT_EQ(record_.fragmentedEndpointPackets(), 2u);
  EXPECT_TRUE(record_.events().empty());
  // DF alone is no fragment.
  Feed(UdpPacket(kClient, kServer, DnsQuery(1, "host.test", 1)));
  EXPECT_EQ(record_.events().size(), 1u);
  EXPECT_EQ(record_.fragmentedEndpointPackets(), 2u);
}

TEST_F(CapturePacketTest, Ipv4TotalLengthBoundsThePacket) {
  const Bytes packet = UdpPacket(kClient, kServer, DnsQuery(1, "host.test", 1));
  Feed(Bytes(packet.begin(), packet.end() - 1));  // total length beyond what arrived
  Bytes badVersion = packet;
  badVersion[0] = 0x65;
  Feed(badVersion);
  Bytes shortHeader = packet;
  shortHeader[0] = 0x44;
  Feed(shortHeader);
  Bytes totalBelowHeader = packet;
  totalBelowHeader[2] = 0;
  totalBelowHeader[3] = 19;
  Feed(totalBelowHeader);
  ExpectNothingCounted();

  Bytes padded = packet;
  Append(padded, {0xC0, 0xFF, 0xEE, 0, 0, 0});  // padding after the total length is not part of it
  Feed(padded);
  ASSERT_EQ(record_.events().size(), 1u);
}

TEST_F(CapturePacketTest, HeaderOptionsMoveTheTransportHeader) {
  Bytes packet = UdpPacket(kClient, kServer, DnsQuery(9, "host.test", 28));
  packet[0] = 0x46;
  packet.insert(packet.begin() + 20, {1, 1, 1, 0});
  packet[3] = static_cast<std::uint8_t>(packet[3] + 4);
  Feed(packet);
  ASSERT_EQ(record_.events().size(), 1u);
  EXPECT_EQ(record_.events()[0].queryType, 28);
}

TEST_F(CapturePacketTest, UdpLengthBoundsTheMessage) {
  Bytes packet = UdpPacket(kClient, kServer, DnsQuery(1, "host.test", 1));
  Bytes tooLong = packet;
  tooLong[25] = static_cast<std::uint8_t>(tooLong[25] + 1);
  Feed(tooLong);
  Bytes tooShort = packet;
  tooShort[24] = 0;
  tooShort[25] = 7;
  Feed(tooShort);
  Bytes cutQuestion = packet;
  cutQuestion[25] = static_cast<std::uint8_t>(cutQuestion[25] - 1);  // class cut off
  Feed(cutQuestion);
  ExpectNothingCounted();
}

TEST_F(CapturePacketTest, TcpSegmentsOfWholeMessages) {
  Feed(TcpPacket(kClient, kServer, TcpFramed({DnsQuery(1, "host.test", 1), DnsQuery(2, "host.test", 28)})));
  ASSERT_EQ(record_.events().size(), 2u);
  EXPECT_EQ(record_.events()[0].transport, DnsTransport::kTcp);
  EXPECT_EQ(record_.events()[1].queryType, 28);
  EXPECT_EQ(record_.unparsedTcpSegments(), 0u);

  Feed(TcpPacket(kClient, kServer, {}));  // a bare ACK
  Feed(TcpPacket(kServer, kClient, TcpFramed({DnsReply(1, "host.test", 1)})));
  EXPECT_EQ(record_.events().size(), 3u);
  EXPECT_EQ(record_.unparsedTcpSegments(), 0u);
}

TEST_F(CapturePacketTest, TcpSegmentsThatAreNotWholeMessagesAreCountedOnce) {
  const Bytes second = TcpFramed({DnsQuery(2, "host.test", 1)});
  Bytes wholeAndHalf = TcpFramed({DnsQuery(1, "host.test", 1)});
  wholeAndHalf.insert(wholeAndHalf.end(), second.begin(), second.begin() + 10);
  Feed(TcpPacket(kClient, kServer, wholeAndHalf));
  EXPECT_EQ(record_.events().size(), 1u);
  EXPECT_EQ(record_.unparsedTcpSegments(), 1u);

  Bytes oneStrayByte = TcpFramed({DnsQuery(3, "host.test", 1)});
  oneStrayByte.push_back(0);
  Feed(TcpPacket(kClient, kServer, oneStrayByte));
  Feed(TcpPacket(kClient, kServer, {0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));  // prefix below a header
  Feed(TcpPacket(kClient, kServer, Bytes(second.begin() + 2, second.end())));   // a continuation
  EXPECT_EQ(record_.events().size(), 2u);
  EXPECT_EQ(record_.unparsedTcpSegments(), 4u);
}

TEST_F(CapturePacketTest, TcpHeaderMustLeaveData) {
  Bytes packet = TcpPacket(kClient, kServer, TcpFramed({DnsQuery(1, "host.test", 1)}));
  Bytes shortOffset = packet;
  shortOffset[32] = 0x40;
  Feed(shortOffset);
  Bytes offsetPastData = packet;
  offsetPastData[32] = 0xF0;
  Feed(offsetPastData);
  ExpectNothingCounted();
}

TEST_F(CapturePacketTest, ReplyWithoutQuestionTakesThePairedQueryType) {
  Feed(UdpPacket(kClient, kServer, DnsQuery(5, "host.test", 28)), 1'000'000);
  Feed(UdpPacket(kServer, kClient, BareReply(5)), 6'000'000);
  ASSERT_EQ(record_.events().size(), 2u);
  EXPECT_EQ(record_.events()[1].queryType, 28);
  EXPECT_EQ(record_.events()[1].responseCode, 2);
  // A second reply pairs with the query again, not with the first reply.
  Feed(UdpPacket(kServer, kClient, BareReply(5)), 1'000'000);
  EXPECT_EQ(record_.events().size(), 3u);
}

TEST_F(CapturePacketTest, ReplyWithoutQuestionNeedsOneQueryTypeWithinFiveSeconds) {
  Feed(UdpPacket(kClient, kServer, DnsQuery(5, "host.test", 1)), 1'000'000);
  Feed(UdpPacket(kServer, kClient, BareReply(5)), 6'000'001);  // too late
  Feed(UdpPacket(kServer, kClient, BareReply(5)), 999'999);    // before the query
  // Any of the five keys differing.
  Feed(UdpPacket(kServer, kClient, BareReply(6)), 2'000'000);
  Feed(UdpPacket(kServer, {testing::kAdapter, 50001}, BareReply(5)), 2'000'000);
  Feed(UdpPacket(kServer, {{172, 19, 0, 9}, 50000}, BareReply(5)), 2'000'000);
  Feed(TcpPacket(kServer, kClient, TcpFramed({BareReply(5)})), 2'000'000);
  Feed(UdpPacket(kServer, kClient, BareReply(5)), 2'000'000, kInterface + 1);
  EXPECT_EQ(record_.events().size(), 1u);

  Feed(UdpPacket(kClient, kServer, DnsQuery(5, "host.test", 1)), 1'500'000);
  Feed(UdpPacket(kServer, kClient, BareReply(5)), 2'000'000);  // two candidates, both A
  ASSERT_EQ(record_.events().size(), 3u);
  EXPECT_EQ(record_.events()[2].queryType, 1);

  Feed(UdpPacket(kClient, kServer, DnsQuery(5, "host.test", 28)), 1'600'000);
  Feed(UdpPacket(kServer, kClient, BareReply(5)), 2'000'000);  // A and AAAA: ambiguous
  EXPECT_EQ(record_.events().size(), 4u);
}

TEST_F(CapturePacketTest, The97thMessageIsDropped) {
  for (std::uint16_t id = 0; id < 97; ++id) Feed(UdpPacket(kClient, kServer, DnsQuery(id, "host.test", 1)));
  EXPECT_EQ(record_.events().size(), CaptureRecord::kMaxEvents);
  EXPECT_EQ(record_.events().back().transactionId, 95);
  EXPECT_EQ(record_.dropped(), 1u);
}

TEST(CaptureRecordWindows, NinthWindowIsRefusedAndCounted) {
  CaptureRecord record("host.test");
  for (std::uint32_t i = 0; i < 8; ++i) {
    ASSERT_TRUE(record.OpenWindow(i, 10 * i));
    EXPECT_TRUE(record.HasOpenWindow());
    record.EndOpenWindow(10 * i + 5);
    EXPECT_FALSE(record.HasOpenWindow());
  }
  EXPECT_FALSE(record.OpenWindow(9, 100));
  EXPECT_FALSE(record.HasOpenWindow());
  record.EndOpenWindow(200);  // nothing open: the last window keeps its end
  ASSERT_EQ(record.windows().size(), 8u);
  EXPECT_EQ(record.windows().back().endedUs, 75u);
  EXPECT_EQ(record.dropped(), 1u);
}

TEST(CaptureRecordErrors, LastNonZeroErrorStays) {
  CaptureRecord record("host.test");
  record.RecordError(10050);
  record.RecordError(0);
  EXPECT_EQ(record.errorCode(), 10050u);
  record.RecordError(52);
  EXPECT_EQ(record.errorCode(), 52u);
}

}  // namespace
}  // namespace orv::dns
