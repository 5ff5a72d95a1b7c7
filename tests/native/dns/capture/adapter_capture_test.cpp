// The capture thread against a fake adapter and raw socket: the windows it
// opens and ends, the errors it keeps, what ends it, and what it reads.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "native/dns/capture/adapter_capture.h"
#include "native/dns/capture/capture_json.h"
#include "tests/native/dns/capture/dns_packet_builder.h"
#include "tests/native/dns/capture/fake_capture_network.h"

namespace orv::dns {
namespace {

using namespace std::chrono_literals;
using test::ArmingStep;
using test::FakeCaptureNetwork;
using test::FakeInterface;

constexpr wchar_t kName[] = L"Probe.Example.Test.";

std::vector<std::uint8_t> QueryDatagram(std::uint16_t id) {
  using namespace testing;
  return UdpPacket({{10, 8, 0, 3}, 50000}, {kServer, 53}, DnsQuery(id, "probe.example.test", 1));
}

class AdapterCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override { network().Reset(); }
  void TearDown() override {
    capture_.reset();
    EXPECT_EQ(network().openSockets(), 0) << "every socket is closed";
    EXPECT_EQ(network().openEvents(), 0) << "every socket event is closed";
    EXPECT_EQ(network().openTables(), 0) << "every address table is freed";
    EXPECT_EQ(network().startups(), network().cleanups()) << "every startup is balanced";
  }

  static FakeCaptureNetwork& network() { return FakeCaptureNetwork::Instance(); }

  AdapterCapture& Start(std::chrono::milliseconds deadline = 30s, const wchar_t* name = kName) {
    capture_ = AdapterCapture::Create(name, network().Platform(deadline));
    return *capture_;
  }
  // The thread has ended on its own when its startup has been balanced.
  static bool EndedByItself() {
    return network().WaitUntil([](const FakeCaptureNetwork& n) { return n.cleanups() == 1; });
  }
  static bool ArmedTimes(int armings) {
    return network().WaitUntil([armings](const FakeCaptureNetwork& n) { return n.armings() >= armings; });
  }
  const CaptureRecord& Stopped() {
    capture_->Stop();
    return capture_->record();
  }

  std::unique_ptr<AdapterCapture> capture_;
};

TEST_F(AdapterCaptureTest, AnAdapterAbsentUntilTheDeadlineExpiresTheCapture) {
  Start(200ms);
  ASSERT_TRUE(EndedByItself());
  const CaptureRecord& record = Stopped();
  EXPECT_STREQ(CaptureStatus(record), "interfaceNotReady");
  EXPECT_TRUE(record.windows().empty());
  EXPECT_TRUE(record.expired());
  EXPECT_EQ(network().socketAttempts(), 0);
  EXPECT_NE(capture_->Json().find("\"expired\":true"), std::string::npos);
}

TEST_F(AdapterCaptureTest, TheAdapterAddressOnTwoInterfacesIsUnavailable) {
  network().SetInterfaces({FakeInterface{}, {{172, 19, 0, 1}, 0x99, 12, L"eth1"}});
  Start();
  ASSERT_TRUE(network().WaitUntil([](const FakeCaptureNetwork& n) { return n.lookups() >= 3; }));
  const CaptureRecord& record = Stopped();
  EXPECT_EQ(record.errorCode(), 52u);
  EXPECT_STREQ(CaptureStatus(record), "unavailable");
  EXPECT_FALSE(record.expired());
  EXPECT_EQ(network().socketAttempts(), 0);
}

TEST_F(AdapterCaptureTest, ADuplicateAfterAWindowMakesThePartialStatus) {
  network().SetInterfaces({FakeInterface{}});
  Start();
  ASSERT_TRUE(ArmedTimes(1));
  network().SetInterfaces({FakeInterface{}, {{172, 19, 0, 1}, 0x99, 12, L"eth1"}});
  ASSERT_TRUE(network().WaitUntil([](const FakeCaptureNetwork& n) { return n.openSockets() == 0; }));
  const CaptureRecord& record = Stopped();
  ASSERT_EQ(record.windows().size(), 1u);
  EXPECT_NE(record.windows()[0].endedUs, 0u);
  EXPECT_EQ(record.errorCode(), 52u);
  EXPECT_STREQ(CaptureStatus(record), "partial");
}

TEST_F(AdapterCaptureTest, PermanentArmingErrorsEndTheCaptureAtOnce) {
  const struct {
    ArmingStep step;
    int error;
  } cases[] = {{ArmingStep::kSocket, WSAEPROTONOSUPPORT},
               {ArmingStep::kBind, WSAEACCES},
               {ArmingStep::kIoctl, WSAEOPNOTSUPP}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    network().Reset();
    network().SetInterfaces({FakeInterface{}});
    network().FailArming(c.step, c.error);
    Start();
    ASSERT_TRUE(EndedByItself());
    const CaptureRecord& record = Stopped();
    EXPECT_EQ(record.errorCode(), static_cast<std::uint32_t>(c.error));
    EXPECT_STREQ(CaptureStatus(record), "unavailable");
    EXPECT_FALSE(record.expired());
    EXPECT_EQ(network().socketAttempts(), 1) << "no retry";
    EXPECT_EQ(network().openSockets(), 0);
  }
}

TEST_F(AdapterCaptureTest, ArmingAsksForARawIpLevelSocketOnTheAdapterAddress) {
  network().SetInterfaces({FakeInterface{}});
  Start();
  ASSERT_TRUE(ArmedTimes(1));
  const auto arming = network().lastArming();
  EXPECT_EQ(arming.family, AF_INET);
  EXPECT_EQ(arming.type, SOCK_RAW);
  EXPECT_EQ(arming.protocol, 0);
  EXPECT_EQ(arming.flags, static_cast<DWORD>(WSA_FLAG_NO_HANDLE_INHERIT));
  EXPECT_EQ(arming.boundAddress, (std::array<std::uint8_t, 4>{172, 19, 0, 1}));
  EXPECT_EQ(arming.boundPort, 0);
  EXPECT_EQ(arming.ioctlCode, static_cast<DWORD>(SIO_RCVALL));
  EXPECT_EQ(arming.ioctlInputSize, 4u);
  EXPECT_EQ(arming.ioctlInput, 3u);
  EXPECT_FALSE(arming.ioctlOutput);
  EXPECT_EQ(arming.eventMask, FD_READ | FD_CLOSE);
  const CaptureRecord& record = Stopped();
  EXPECT_STREQ(CaptureStatus(record), "armed");
}

TEST_F(AdapterCaptureTest, OtherArmingErrorsAreRetriedAfterAPause) {
  network().SetInterfaces({FakeInterface{}});
  network().FailArming(ArmingStep::kEventSelect, WSAENETDOWN);
  Start();
  ASSERT_TRUE(network().WaitUntil([](const FakeCaptureNetwork& n) { return n.socketAttempts() >= 5; }));
  const CaptureRecord& record = Stopped();
  EXPECT_EQ(record.errorCode(), static_cast<std::uint32_t>(WSAENETDOWN));
  EXPECT_STREQ(CaptureStatus(record), "unavailable");
  EXPECT_FALSE(record.expired());
  const auto times = network().socketAttemptTimes();
  for (std::size_t i = 1; i < times.size(); ++i) {
    EXPECT_GE(times[i] - times[i - 1], 10ms) << "retries wait for the stop event between attempts";
  }
}

TEST_F(AdapterCaptureTest, DatagramsBecomeEventsOfTheWindowsInterface) {
  network().SetInterfaces({{{172, 19, 0, 1}, 0x77, 23, L"Kilna-tun"}});
  Start();
  ASSERT_TRUE(ArmedTimes(1));
  network().QueueDatagrams({QueryDatagram(0x1234), QueryDatagram(0x1235)});
  ASSERT_TRUE(network().WaitUntil([](const FakeCaptureNetwork& n) { return n.receives() >= 3; }));
  const CaptureRecord& record = Stopped();
  ASSERT_EQ(record.events().size(), 2u);
  EXPECT_EQ(record.events()[0].interfaceIndex, 23u);
  EXPECT_EQ(record.events()[0].transactionId, 0x1234);
  EXPECT_EQ(record.events()[1].transactionId, 0x1235);
  ASSERT_EQ(record.windows().size(), 1u);
  EXPECT_EQ(record.windows()[0].interfaceIndex, 23u);
  EXPECT_NE(record.windows()[0].endedUs, 0u) << "stop closes the window";
  EXPECT_GE(record.events()[0].timeUs, record.windows()[0].startedUs);
}

TEST_F(AdapterCaptureTest, SeventyQueuedDatagramsAreAllRead) {
  network().SetInterfaces({FakeInterface{}});
  std::vector<std::vector<std::uint8_t>> datagrams;
  for (std::uint16_t id = 1; id <= 70; ++id) datagrams.push_back(QueryDatagram(id));
  Start();
  ASSERT_TRUE(ArmedTimes(1));
  network().QueueDatagrams(datagrams);
  ASSERT_TRUE(network().WaitUntil([](const FakeCaptureNetwork& n) { return n.receives() >= 71; }));
  const CaptureRecord& record = Stopped();
  ASSERT_EQ(record.events().size(), 70u);
  EXPECT_EQ(record.events()[69].transactionId, 70);
  EXPECT_EQ(record.windows().size(), 1u) << "reading in rounds keeps the window";
}

TEST_F(AdapterCaptureTest, AReceiveFailureOrACloseEndsTheWindowAndANewOneOpens) {
  network().SetInterfaces({FakeInterface{}});
  Start();
  ASSERT_TRUE(ArmedTimes(1));
  network().FailNextReceive(WSAECONNRESET);
  ASSERT_TRUE(ArmedTimes(2));
  network().DeliverClose();
  ASSERT_TRUE(ArmedTimes(3));
  network().FailNextReceive(WSAEWOULDBLOCK);  // not a failure: reading stops for now
  std::this_thread::sleep_for(100ms);
  const CaptureRecord& record = Stopped();
  ASSERT_EQ(record.windows().size(), 3u);
  EXPECT_NE(record.windows()[0].endedUs, 0u);
  EXPECT_GE(record.windows()[1].startedUs, record.windows()[0].endedUs);
  EXPECT_EQ(record.errorCode(), static_cast<std::uint32_t>(WSAECONNRESET));
  EXPECT_STREQ(CaptureStatus(record), "partial");
}

TEST_F(AdapterCaptureTest, AFailedEventEnumerationEndsTheWindow) {
  network().SetInterfaces({FakeInterface{}});
  Start();
  ASSERT_TRUE(ArmedTimes(1));
  network().FailEventEnumeration(WSAENOTSOCK);
  ASSERT_TRUE(ArmedTimes(2));
  const CaptureRecord& record = Stopped();
  EXPECT_EQ(record.errorCode(), static_cast<std::uint32_t>(WSAENOTSOCK));
  EXPECT_EQ(record.windows().size(), 2u);
}

TEST_F(AdapterCaptureTest, TheAdapterGoingOrChangingEndsTheWindowUntilItReturns) {
  network().SetInterfaces({FakeInterface{}});
  Start();
  ASSERT_TRUE(ArmedTimes(1));
  network().SetInterfaces({});
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(network().armings(), 1) << "no arming while the adapter is gone";
  network().SetInterfaces({FakeInterface{}});
  ASSERT_TRUE(ArmedTimes(2));

  FakeInterface renewed;
  renewed.luid = 0x0006000002000000ULL;
  network().SetInterfaces({renewed});
  ASSERT_TRUE(ArmedTimes(3));
  renewed.index = 31;
  network().SetInterfaces({renewed});
  ASSERT_TRUE(ArmedTimes(4));

  const CaptureRecord& record = Stopped();
  ASSERT_EQ(record.windows().size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_NE(record.windows()[i].endedUs, 0u);
  EXPECT_EQ(record.windows()[3].interfaceIndex, 31u);
  EXPECT_STREQ(CaptureStatus(record), "armed");
}

TEST_F(AdapterCaptureTest, ANinthWindowIsRefusedAndEndsTheCapture) {
  network().SetInterfaces({FakeInterface{}});
  network().CloseEachArming();
  Start();
  ASSERT_TRUE(EndedByItself());
  const CaptureRecord& record = Stopped();
  EXPECT_EQ(record.windows().size(), 8u);
  EXPECT_EQ(record.dropped(), 1u);
  EXPECT_EQ(network().armings(), 9);
  EXPECT_FALSE(record.expired());
  EXPECT_STREQ(CaptureStatus(record), "armed");
}

TEST_F(AdapterCaptureTest, AnExceptionOnTheThreadStoresMemoryExhaustedAndClosesTheWindow) {
  network().SetInterfaces({FakeInterface{}});
  Start();
  ASSERT_TRUE(ArmedTimes(1));
  network().ThrowOnReceive();
  ASSERT_TRUE(EndedByItself());
  const CaptureRecord& record = Stopped();
  EXPECT_EQ(record.errorCode(), 8u);
  ASSERT_EQ(record.windows().size(), 1u);
  EXPECT_NE(record.windows()[0].endedUs, 0u);
  EXPECT_STREQ(CaptureStatus(record), "partial");
}

TEST_F(AdapterCaptureTest, AFailedStartupIsKept) {
  network().FailStartup(WSASYSNOTREADY);
  Start();
  std::this_thread::sleep_for(50ms);
  const CaptureRecord& record = Stopped();
  EXPECT_EQ(record.errorCode(), static_cast<std::uint32_t>(WSASYSNOTREADY));
  EXPECT_EQ(network().cleanups(), 0) << "no cleanup without a startup";
}

TEST_F(AdapterCaptureTest, StopIsPromptAndASecondStopDoesNothing) {
  network().SetInterfaces({FakeInterface{}});
  Start();
  ASSERT_TRUE(ArmedTimes(1));
  const auto before = std::chrono::steady_clock::now();
  capture_->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s) << "stop must not hang";
  EXPECT_EQ(network().cleanups(), 1);
  capture_->Stop();
  EXPECT_EQ(network().cleanups(), 1);
  EXPECT_FALSE(capture_->record().expired());
  EXPECT_NE(capture_->Json().find("\"status\":\"armed\""), std::string::npos);
}

TEST_F(AdapterCaptureTest, ARefusedNameStartsNoThreadButStopJsonAndDestroyWork) {
  for (const wchar_t* name : {L"", L".", L"bad name", L"caf\u00e9.test"}) {
    network().Reset();
    network().SetInterfaces({FakeInterface{}});
    Start(30s, name);
    capture_->Stop();
    capture_->Stop();
    EXPECT_EQ(capture_->record().errorCode(), 87u);
    const std::string json = capture_->Json();
    EXPECT_EQ(json.rfind("{\"status\":\"unavailable\"", 0), 0u) << json;
    EXPECT_NE(json.find("\"errorCode\":87"), std::string::npos);
    capture_.reset();
    EXPECT_EQ(network().startups(), 0);
  }
}

TEST_F(AdapterCaptureTest, DestroyWithoutStopEndsTheThread) {
  network().SetInterfaces({FakeInterface{}});
  Start();
  ASSERT_TRUE(ArmedTimes(1));
  capture_.reset();
  EXPECT_EQ(network().cleanups(), 1);
}

}  // namespace
}  // namespace orv::dns
