// The query exports on real answers: the DNS client call forwards to Wine's
// DnsQuery_W, which asks the test namespace's own DNS server.

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>

#include "native/dns/query/dns_query.h"
#include "tests/support/test_namespace.h"

namespace orv::dns {
namespace {

DNS_STATUS WINAPI ForwardToDnsQueryW(PDNS_QUERY_REQUEST request, PDNS_QUERY_RESULT result, PDNS_QUERY_CANCEL) {
  PDNS_RECORD records = nullptr;
  const DNS_STATUS status = ::DnsQuery_W(request->QueryName, request->QueryType,
                                         static_cast<DWORD>(request->QueryOptions), nullptr, &records, nullptr);
  result->QueryStatus = status;
  result->pQueryRecords = records;
  return status;
}

class RealAnswers : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string why = test::WhyNotInTestNamespace();
    ASSERT_TRUE(why.empty()) << why;
    platform_.DnsQueryEx = &ForwardToDnsQueryW;
    array_.fill(0xEE);
  }

  std::set<std::string> Addresses(std::uint32_t count, std::size_t size) const {
    std::set<std::string> found;
    for (std::uint32_t i = 0; i < count; ++i) found.insert(std::string(&array_[i * size], &array_[i * size] + size));
    return found;
  }

  DnsQueryPlatform platform_ = DnsQueryPlatform::Production();
  std::array<std::uint8_t, 8 * 16> array_{};
  std::uint32_t count_ = 0xA5A5A5A5;
};

TEST_F(RealAnswers, TenAddressesFillTheEightSlots) {
  ASSERT_EQ(QuerySystemDns(platform_, L"ten.test", 4, array_.data(), 8, &count_), 0u);
  ASSERT_EQ(count_, 8u);
  const auto found = Addresses(8, 4);
  EXPECT_EQ(found.size(), 8u) << "eight distinct addresses";
  for (const std::string& address : found) {
    EXPECT_EQ(address.substr(0, 3), std::string("\xCB\x00\x71", 3)) << "203.0.113.x, in network order";
    const auto last = static_cast<std::uint8_t>(address[3]);
    EXPECT_TRUE(last >= 21 && last <= 30) << int(last);
  }
}

TEST_F(RealAnswers, BothIpv6AddressesAreTaken) {
  ASSERT_EQ(QueryPhysicalDns(platform_, L"two6.test", 1, 6, array_.data(), 8, &count_), 0u);
  ASSERT_EQ(count_, 2u);
  const std::string prefix("\x20\x01\x0d\xb8", 4);
  const std::string middle(11, '\0');
  EXPECT_EQ(Addresses(2, 16), (std::set<std::string>{prefix + middle + "\x61", prefix + middle + "\x62"}));
}

TEST_F(RealAnswers, ANameErrorIsReturnedUnchanged) {
  EXPECT_EQ(QuerySystemDns(platform_, L"absent-name.test", 4, array_.data(), 8, &count_), 9003u);
  EXPECT_EQ(count_, 0u);
  for (std::uint8_t b : array_) ASSERT_EQ(b, 0xEE);
}

}  // namespace
}  // namespace orv::dns
