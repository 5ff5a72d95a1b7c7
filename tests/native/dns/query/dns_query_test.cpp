// The DNS query exports against a fake DNS client: argument checks, the
// request, the status rule, which answers are taken, and record lists freed.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "native/common/system_library.h"
#include "native/dns/query/dns_query.h"
#include "tests/native/dns/query/fake_dns_client.h"

namespace orv::dns {
namespace {

using test::AaaaRecord;
using test::ARecord;
using test::CnameRecord;
using test::FakeDnsClient;
using test::FakeRecord;

constexpr std::uint32_t kSentinel = 0xA5A5A5A5;
constexpr std::uint8_t kUntouched = 0xEE;

struct Call {
  bool physical = true;
  const wchar_t* name = L"host.test";
  std::uint32_t index = 7;
  std::int32_t family = 4;
  bool withArray = true;
  std::uint32_t capacity = 8;
  bool withCount = true;
};

class DnsQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client().Reset();
    array_.fill(kUntouched);
  }
  void TearDown() override {
    EXPECT_EQ(client().listsFreed(), client().listsHandedOut()) << "every record list is freed";
    EXPECT_EQ(client().wrongFrees(), 0);
    client().Reset();
  }
  static FakeDnsClient& client() { return FakeDnsClient::Instance(); }

  DWORD Run(const Call& call) {
    count_ = kSentinel;
    const DnsQueryPlatform platform = client().Platform();
    std::uint8_t* array = call.withArray ? array_.data() : nullptr;
    std::uint32_t* count = call.withCount ? &count_ : nullptr;
    return call.physical ? QueryPhysicalDns(platform, call.name, call.index, call.family, array, call.capacity, count)
                         : QuerySystemDns(platform, call.name, call.family, array, call.capacity, count);
  }
  bool ArrayUntouched() const {
    return std::all_of(array_.begin(), array_.end(), [](std::uint8_t b) { return b == kUntouched; });
  }

  std::array<std::uint8_t, 8 * 16 + 16> array_{};
  std::uint32_t count_ = kSentinel;
};

TEST_F(DnsQueryTest, ArgumentChecksRefuseInOrderBeforeAnyQuery) {
  client().Answer({ARecord(203, 0, 113, 1)});
  const struct {
    const char* what;
    Call call;
    bool countZeroed;
  } cases[] = {
      {"index 0", {.index = 0}, true},
      {"index 0, no count", {.index = 0, .withCount = false}, false},
      {"index 0 before a bad family", {.index = 0, .family = 5}, true},
      {"no count", {.withCount = false}, false},
      {"no count before a null name", {.name = nullptr, .withCount = false}, false},
      {"null name", {.name = nullptr}, true},
      {"empty name", {.name = L""}, true},
      {"family 0", {.family = 0}, true},
      {"family 5", {.family = 5}, true},
      {"family 5 before a null array", {.family = 5, .withArray = false}, true},
      {"null array", {.withArray = false}, true},
      {"null array before capacity 0", {.withArray = false, .capacity = 0}, true},
      {"capacity 0", {.capacity = 0}, true},
      {"capacity 9", {.capacity = 9}, true},
      {"system: null count", {.physical = false, .withCount = false}, false},
      {"system: family 6 capacity 0", {.physical = false, .family = 6, .capacity = 0}, true},
      {"system: empty name", {.physical = false, .name = L""}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Run(c.call), 87u);
    EXPECT_EQ(count_, c.countZeroed ? 0u : kSentinel);
    EXPECT_TRUE(ArrayUntouched());
  }
  EXPECT_EQ(client().queries(), 0);
}

TEST_F(DnsQueryTest, TheRequestCarriesTheNameTypeOptionsAndInterface) {
  client().Answer({});
  EXPECT_EQ(Run({.name = L"Mixed.Case.Test.", .index = 7, .family = 6}), 0u);
  FakeDnsClient::Request request = client().lastRequest();
  EXPECT_EQ(request.version, 1u);
  EXPECT_EQ(request.name, L"Mixed.Case.Test.") << "the name goes out unchanged";
  EXPECT_EQ(request.type, 28);
  EXPECT_EQ(request.options, 0x19C8u);
  EXPECT_FALSE(request.hasServerList);
  EXPECT_EQ(request.interfaceIndex, 7u);
  EXPECT_FALSE(request.hasCallback);
  EXPECT_FALSE(request.hasContext);
  EXPECT_EQ(request.resultVersion, 1u);

  EXPECT_EQ(Run({.physical = false, .family = 4}), 0u);
  request = client().lastRequest();
  EXPECT_EQ(request.type, 1);
  EXPECT_EQ(request.interfaceIndex, 0u);
  EXPECT_EQ(client().queries(), 2);
}

TEST_F(DnsQueryTest, TheCallsOwnFailureWinsOverTheQueryStatus) {
  const struct {
    DNS_STATUS call, query;
    DWORD expected;
  } cases[] = {{0, 9003, 9003}, {9004, 0, 9004}, {1460, 9003, 1460}, {0, 0, 0}};
  for (const auto& c : cases) {
    client().Answer({ARecord(203, 0, 113, 1)}, c.call, c.query);
    EXPECT_EQ(Run({}), c.expected);
    if (c.expected != 0) {
      EXPECT_EQ(count_, 0u);
      EXPECT_TRUE(ArrayUntouched()) << "a failed query writes no address";
    } else {
      EXPECT_EQ(count_, 1u);
    }
  }
}

TEST_F(DnsQueryTest, AnswersBeyondTheCapacityAreDropped) {
  std::vector<FakeRecord> ten;
  for (std::uint8_t i = 1; i <= 10; ++i) ten.push_back(ARecord(203, 0, 113, i));
  client().Answer(ten);
  EXPECT_EQ(Run({.capacity = 8}), 0u);
  ASSERT_EQ(count_, 8u);
  for (std::uint8_t i = 0; i < 8; ++i) {
    const std::uint8_t expected[4] = {203, 0, 113, static_cast<std::uint8_t>(i + 1)};
    EXPECT_EQ(std::memcmp(&array_[i * 4u], expected, 4), 0) << "element " << int(i);
  }
  EXPECT_EQ(array_[32], kUntouched) << "nothing past the capacity";
}

TEST_F(DnsQueryTest, OnlyAnswerRecordsOfTheRequestedTypeAndSizeAreTaken) {
  FakeRecord additional = ARecord(198, 51, 100, 9);
  additional.section = 3;
  FakeRecord shortA = ARecord(198, 51, 100, 8);
  shortA.dataLength = 3;
  client().Answer({CnameRecord(), additional, shortA, AaaaRecord(1), ARecord(203, 0, 113, 5)});
  EXPECT_EQ(Run({.family = 4}), 0u);
  ASSERT_EQ(count_, 1u);
  const std::uint8_t expected[4] = {203, 0, 113, 5};
  EXPECT_EQ(std::memcmp(array_.data(), expected, 4), 0);

  client().Answer({CnameRecord(), CnameRecord()});
  EXPECT_EQ(Run({.family = 4}), 0u) << "an answer of aliases only is a success";
  EXPECT_EQ(count_, 0u);
}

TEST_F(DnsQueryTest, AnAaaaRecordOfTheWrongLengthIsSkippedAndTheNextTaken) {
  client().Answer({AaaaRecord(1, 15), AaaaRecord(2), ARecord(203, 0, 113, 1), AaaaRecord(3)});
  EXPECT_EQ(Run({.family = 6, .capacity = 2}), 0u);
  ASSERT_EQ(count_, 2u);
  EXPECT_EQ(array_[15], 2);
  EXPECT_EQ(array_[0], 0x20);
  EXPECT_EQ(array_[31], 3);
  EXPECT_EQ(array_[32], kUntouched);
}

TEST_F(DnsQueryTest, EveryReturnedListIsFreedOnceWhateverTheStatus) {
  const struct {
    DNS_STATUS call, query;
  } cases[] = {{0, 0}, {0, 9003}, {9004, 0}, {9501, 9501}};
  int handedOut = 0;
  for (const auto& c : cases) {
    client().Answer({ARecord(203, 0, 113, 1), ARecord(203, 0, 113, 2)}, c.call, c.query);
    Run({});
    ++handedOut;
    EXPECT_EQ(client().listsHandedOut(), handedOut);
    EXPECT_EQ(client().listsFreed(), handedOut);
  }
  client().Answer({}, 0, 9501, false);
  EXPECT_EQ(Run({}), 9501u);
  EXPECT_EQ(client().listsFreed(), handedOut) << "no list, nothing to free";
}

// A failure other than exhausted memory inside a query reaches the exports'
// barrier, which answers 8 for it too.
TEST_F(DnsQueryTest, AFailureCaughtAtTheExportsBarrierAnswers8) {
  DnsQueryPlatform platform = client().Platform();
  platform.DnsQueryEx = [](PDNS_QUERY_REQUEST, PDNS_QUERY_RESULT, PDNS_QUERY_CANCEL) -> DNS_STATUS {
    throw std::runtime_error("inside the query");
  };
  EXPECT_EQ(GuardedQuerySystemDns(platform, L"host.test", 4, array_.data(), 1, &count_), 8u);
  EXPECT_EQ(count_, 0u);
  count_ = kSentinel;
  EXPECT_EQ(GuardedQueryPhysicalDns(platform, L"host.test", 3, 6, array_.data(), 1, &count_), 8u);
  EXPECT_EQ(count_, 0u);
}

// A DNS client without DnsQueryEx (Windows 7) answers 127 to every query,
// with the count 0 and the caller's array untouched.
TEST_F(DnsQueryTest, WithoutDnsQueryExEveryQueryAnswersProcNotFound) {
  const SystemLibrary dnsapi(L"dnsapi.dll");
  ASSERT_TRUE(dnsapi.loaded());
  DnsQueryPlatform platform = client().Platform();
  platform.DnsQueryEx = dnsapi.FindOr<DnsQueryExFn, ERROR_PROC_NOT_FOUND>("DnsQueryExNotOnWindows7");
  std::uint32_t count = kSentinel;
  EXPECT_EQ(QuerySystemDns(platform, L"host.test", 4, array_.data(), 8, &count), 127u);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(QueryPhysicalDns(platform, L"host.test", 3, 6, array_.data(), 8, &count), 127u);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(ArrayUntouched());
}

}  // namespace
}  // namespace orv::dns
