// The capture against the real interface tables of the test namespace, one
// link state per ctest entry (tests/native/dns/capture/adapter_links.sh sets it up). These
// catch byte-order and alias mistakes that a fake written by the same hand
// would share.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "native/common/unique_resource.h"
#include "native/dns/capture/adapter_capture.h"
#include "native/dns/capture/capture_json.h"
#include "tests/support/test_namespace.h"

namespace orv::dns {
namespace {

using namespace std::chrono_literals;

// Set when the capture thread balances its startup, that is when it ends.
HANDLE threadEnded = nullptr;

int WSAAPI CleanupAndSignal() {
  const int result = ::WSACleanup();
  ::SetEvent(threadEnded);
  return result;
}

class RealAdapterTable : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string why = test::WhyNotInTestNamespace();
    ASSERT_TRUE(why.empty()) << why;
    ended_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(ended_);
    threadEnded = ended_.get();
  }
  void TearDown() override { threadEnded = nullptr; }

  // The real table, but with the thread's end made visible.
  static DnsCapturePlatform Platform() {
    DnsCapturePlatform platform = DnsCapturePlatform::Production();
    platform.WSACleanup = &CleanupAndSignal;
    return platform;
  }

  UniqueHandle ended_;
};

TEST_F(RealAdapterTable, WithoutTheAdapterTheCaptureKeepsLooking) {
  auto capture = AdapterCapture::Create(L"host.test", Platform());
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(::WaitForSingleObject(ended_.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "still looking";
  capture->Stop();
  const CaptureRecord& record = capture->record();
  EXPECT_STREQ(CaptureStatus(record), "interfaceNotReady");
  EXPECT_EQ(record.errorCode(), 0u);
  EXPECT_TRUE(record.windows().empty());
  EXPECT_FALSE(record.expired());
}

TEST_F(RealAdapterTable, TheAdapterIsFoundAndArmingWithoutRawSocketsEndsTheCapture) {
  auto capture = AdapterCapture::Create(L"host.test", Platform());
  ASSERT_EQ(::WaitForSingleObject(ended_.get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0))
      << "the capture should find Orv-net, fail to arm and end by itself";
  capture->Stop();
  const std::string json = capture->Json();
  EXPECT_EQ(json.rfind("{\"status\":\"unavailable\"", 0), 0u) << json;
  EXPECT_NE(json.find("\"errorCode\":10043,\"expired\":false"), std::string::npos) << json;
  EXPECT_NE(json.find("\"windows\":[]"), std::string::npos) << json;
}

TEST_F(RealAdapterTable, TheAdapterAddressOnTwoLinksIsAmbiguous) {
  auto capture = AdapterCapture::Create(L"host.test", Platform());
  std::this_thread::sleep_for(300ms);
  capture->Stop();
  const CaptureRecord& record = capture->record();
  EXPECT_STREQ(CaptureStatus(record), "unavailable");
  EXPECT_EQ(record.errorCode(), 52u);
  EXPECT_TRUE(record.windows().empty());
}

}  // namespace
}  // namespace orv::dns
