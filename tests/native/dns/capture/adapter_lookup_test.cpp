// Finding the accelerator's adapter in a fake interface table: the address,
// the alias, duplicates, and the table freed on every path.

#include <gtest/gtest.h>

#include "native/dns/capture/adapter_lookup.h"
#include "tests/native/dns/capture/fake_capture_network.h"

namespace orv::dns {
namespace {

using test::FakeCaptureNetwork;
using test::FakeInterface;

class AdapterLookupTest : public ::testing::Test {
 protected:
  void SetUp() override { network().Reset(); }
  void TearDown() override { EXPECT_EQ(network().openTables(), 0) << "every table is freed"; }
  static FakeCaptureNetwork& network() { return FakeCaptureNetwork::Instance(); }
  static AdapterLookup Lookup() { return LookupAcceleratorAdapter(network().Platform()); }
};

FakeInterface Other(std::array<std::uint8_t, 4> address, std::uint64_t luid, std::uint32_t index,
                    std::wstring alias = L"eth0") {
  return {address, luid, index, std::move(alias)};
}

TEST_F(AdapterLookupTest, FindsTheAdapterByAddressAndAliasInAnyCase) {
  for (const wchar_t* alias : {L"Orv-net", L"orv-NET", L"Kilna-tun", L"KILNA-TUN"}) {
    network().SetInterfaces({Other({10, 0, 0, 5}, 0x11, 2), {{172, 19, 0, 1}, 0x0006000001000000ULL, 7, alias}});
    const AdapterLookup found = Lookup();
    EXPECT_TRUE(found.found) << std::string(alias, alias + wcslen(alias));
    EXPECT_EQ(found.luid, 0x0006000001000000ULL);
    EXPECT_EQ(found.interfaceIndex, 7u);
    EXPECT_EQ(found.error, 0u);
  }
}

TEST_F(AdapterLookupTest, AnotherAliasOrAddressIsNotTheAdapter) {
  const std::vector<std::vector<FakeInterface>> tables = {
      {},
      {Other({172, 19, 0, 1}, 0x21, 3, L"eth0")},
      {Other({172, 19, 0, 1}, 0x21, 3, L"Orv-net2")},
      {Other({172, 19, 0, 2}, 0x21, 3, L"Orv-net")},
      {Other({1, 0, 19, 172}, 0x21, 3, L"Orv-net")},  // the address in the wrong byte order
  };
  for (const auto& table : tables) {
    network().SetInterfaces(table);
    const AdapterLookup lookup = Lookup();
    EXPECT_FALSE(lookup.found);
    EXPECT_EQ(lookup.error, 0u);
  }
}

TEST_F(AdapterLookupTest, IgnoresRowsOfAnotherFamily) {
  FakeInterface v6 = Other({172, 19, 0, 1}, 0x31, 4, L"Orv-net");
  v6.family = AF_INET6;
  network().SetInterfaces({v6, FakeInterface{}});
  EXPECT_TRUE(Lookup().found);
}

TEST_F(AdapterLookupTest, TheAddressOnTwoInterfacesIsRefusedWhateverTheFirstGave) {
  network().SetInterfaces({FakeInterface{}, Other({172, 19, 0, 1}, 0x41, 9, L"eth1")});
  AdapterLookup lookup = Lookup();
  EXPECT_FALSE(lookup.found);
  EXPECT_EQ(lookup.error, 52u);

  network().SetInterfaces({Other({172, 19, 0, 1}, 0x41, 9, L"eth1"), FakeInterface{}});
  lookup = Lookup();
  EXPECT_FALSE(lookup.found);
  EXPECT_EQ(lookup.error, 52u);
}

TEST_F(AdapterLookupTest, TableAndInterfaceReadErrorsAreTheLookupsError) {
  network().FailAddressTable(ERROR_NOT_ENOUGH_MEMORY);
  AdapterLookup lookup = Lookup();
  EXPECT_FALSE(lookup.found);
  EXPECT_EQ(lookup.error, 8u);

  network().FailAddressTable(0);
  network().SetInterfaces({FakeInterface{}});
  network().FailInterfaceRead(ERROR_FILE_NOT_FOUND);
  lookup = Lookup();
  EXPECT_FALSE(lookup.found);
  EXPECT_EQ(lookup.error, 2u);
}

TEST_F(AdapterLookupTest, AnAliasThatFillsItsWholeFieldIsReadNoFurther) {
  network().SetInterfaces({{{172, 19, 0, 1}, 0x51, 5, std::wstring(IF_MAX_STRING_SIZE + 1, L'x')}});
  EXPECT_FALSE(Lookup().found);
}

}  // namespace
}  // namespace orv::dns
