#include "native/dns/capture/adapter_lookup.h"

#include <cstring>
#include <cwchar>

namespace orv::dns {

namespace {

// The unicast address table, freed through the same table it came from.
class MibTable {
 public:
  explicit MibTable(const DnsCapturePlatform& platform) noexcept : platform_(platform) {}
  MibTable(const MibTable&) = delete;
  MibTable& operator=(const MibTable&) = delete;
  ~MibTable() {
    if (table_ != nullptr) platform_.FreeMibTable(table_);
  }
  MIB_UNICASTIPADDRESS_TABLE* get() const noexcept { return table_; }
  MIB_UNICASTIPADDRESS_TABLE** put() noexcept { return &table_; }

 private:
  const DnsCapturePlatform& platform_;
  MIB_UNICASTIPADDRESS_TABLE* table_ = nullptr;
};

bool IsAdapterAddress(const SOCKADDR_INET& address) noexcept {
  if (address.si_family != AF_INET) return false;
  return std::memcmp(&address.Ipv4.sin_addr, kAcceleratorAdapterAddress, sizeof(kAcceleratorAdapterAddress)) == 0;
}

bool IsAcceleratorAlias(const MIB_IF_ROW2& row) noexcept {
  // The platform fills the alias, but nothing forces it to end inside the field.
  const int length = static_cast<int>(::wcsnlen(row.Alias, sizeof(row.Alias) / sizeof(row.Alias[0])));
  for (const wchar_t* alias : {L"Kilna-tun", L"Orv-net"}) {
    if (::CompareStringOrdinal(row.Alias, length, alias, -1, TRUE) == CSTR_EQUAL) return true;
  }
  return false;
}

}  // namespace

AdapterLookup LookupAcceleratorAdapter(const DnsCapturePlatform& platform) noexcept {
  AdapterLookup result;
  MibTable table(platform);
  const DWORD read = platform.GetUnicastIpAddressTable(AF_INET, table.put());
  if (read != NO_ERROR) {
    result.error = read;
    return result;
  }
  if (table.get() == nullptr) return result;

  const MIB_UNICASTIPADDRESS_ROW* adapterRow = nullptr;
  for (ULONG i = 0; i < table.get()->NumEntries; ++i) {
    const MIB_UNICASTIPADDRESS_ROW& row = table.get()->Table[i];
    if (!IsAdapterAddress(row.Address)) continue;
    if (adapterRow != nullptr) {
      result.error = ERROR_DUP_NAME;
      return result;
    }
    adapterRow = &row;
  }
  if (adapterRow == nullptr) return result;

  MIB_IF_ROW2 interfaceRow = {};
  interfaceRow.InterfaceLuid = adapterRow->InterfaceLuid;
  const DWORD readInterface = platform.GetIfEntry2(&interfaceRow);
  if (readInterface != NO_ERROR) {
    result.error = readInterface;
    return result;
  }
  if (!IsAcceleratorAlias(interfaceRow)) return result;
  result.found = true;
  result.luid = adapterRow->InterfaceLuid.Value;
  result.interfaceIndex = adapterRow->InterfaceIndex;
  return result;
}

}  // namespace orv::dns
