#include "native/dns/query/dns_query.h"

#include <cstring>

#include "native/common/system_library.h"

namespace orv::dns {

namespace {

// Bypass the cache, the hosts file, NetBIOS and multicast; wire only; the
// name is fully qualified as given.
constexpr ULONG64 kQueryOptions = DNS_QUERY_BYPASS_CACHE | DNS_QUERY_NO_HOSTS_FILE | DNS_QUERY_NO_NETBT |
                                  DNS_QUERY_WIRE_ONLY | DNS_QUERY_NO_MULTICAST | DNS_QUERY_TREAT_AS_FQDN;
static_assert(kQueryOptions == 0x19C8);

constexpr DWORD kSectionMask = 0x3;

// A record list from the DNS client, freed through the table it came from.
class RecordList {
 public:
  RecordList(const DnsQueryPlatform& platform, DNS_RECORDW* head) noexcept : platform_(platform), head_(head) {}
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;
  ~RecordList() {
    if (head_ != nullptr) platform_.DnsFree(head_, DnsFreeRecordList);
  }
  const DNS_RECORDW* head() const noexcept { return head_; }

 private:
  const DnsQueryPlatform& platform_;
  DNS_RECORDW* head_;
};

std::uint32_t CollectAddresses(const DNS_RECORDW* record, WORD type, std::uint8_t* addresses,
                               std::uint32_t capacity) noexcept {
  const WORD size = type == DNS_TYPE_A ? 4 : 16;
  std::uint32_t count = 0;
  for (; record != nullptr && count < capacity; record = record->pNext) {
    if (record->wType != type || (record->Flags.DW & kSectionMask) != DNSREC_ANSWER || record->wDataLength != size) {
      continue;
    }
    std::memcpy(addresses + static_cast<std::size_t>(count) * size, &record->Data, size);
    ++count;
  }
  return count;
}

// The checks after the interface index, in order; then one synchronous query.
[[nodiscard]] DWORD Query(const DnsQueryPlatform& platform, const wchar_t* name, std::uint32_t interfaceIndex, std::int32_t family,
                          std::uint8_t* addresses, std::uint32_t capacity, std::uint32_t* count) {
  if (count == nullptr) return ERROR_INVALID_PARAMETER;
  *count = 0;
  if (name == nullptr || name[0] == L'\0') return ERROR_INVALID_PARAMETER;
  if (family != 4 && family != 6) return ERROR_INVALID_PARAMETER;
  if (addresses == nullptr) return ERROR_INVALID_PARAMETER;
  if (capacity < 1 || capacity > kMaxQueryAddresses) return ERROR_INVALID_PARAMETER;

  const WORD type = family == 4 ? DNS_TYPE_A : DNS_TYPE_AAAA;
  DNS_QUERY_REQUEST request = {};
  request.Version = DNS_QUERY_REQUEST_VERSION1;
  request.QueryName = name;
  request.QueryType = type;
  request.QueryOptions = kQueryOptions;
  request.InterfaceIndex = interfaceIndex;
  DNS_QUERY_RESULT result = {};
  result.Version = DNS_QUERY_RESULTS_VERSION1;

  const DNS_STATUS called = platform.DnsQueryEx(&request, &result, nullptr);
  const RecordList records(platform, result.pQueryRecords);
  const DWORD status = called != 0 ? static_cast<DWORD>(called) : static_cast<DWORD>(result.QueryStatus);
  if (status != 0) return status;
  *count = CollectAddresses(records.head(), type, addresses, capacity);
  return ERROR_SUCCESS;
}

}  // namespace

const DnsQueryPlatform& DnsQueryPlatform::Production() noexcept {
  static const DnsQueryPlatform real = [] {
    const SystemLibrary& dnsapi = KeptSystemLibrary<system_dll::kDnsapi>();
    DnsQueryPlatform platform;
    platform.DnsQueryEx = dnsapi.FindOr<DnsQueryExFn, ERROR_PROC_NOT_FOUND>("DnsQueryEx");
    platform.DnsFree = dnsapi.FindOr<decltype(&::DnsFree), 0>("DnsFree");
    return platform;
  }();
  return real;
}

DWORD QueryPhysicalDns(const DnsQueryPlatform& platform, const wchar_t* name, std::uint32_t interfaceIndex,
                       std::int32_t family, std::uint8_t* addresses, std::uint32_t capacity, std::uint32_t* count) {
  if (interfaceIndex == 0) {
    if (count != nullptr) *count = 0;
    return ERROR_INVALID_PARAMETER;
  }
  return Query(platform, name, interfaceIndex, family, addresses, capacity, count);
}

DWORD QuerySystemDns(const DnsQueryPlatform& platform, const wchar_t* name, std::int32_t family,
                     std::uint8_t* addresses, std::uint32_t capacity, std::uint32_t* count) {
  return Query(platform, name, 0, family, addresses, capacity, count);
}

}  // namespace orv::dns
