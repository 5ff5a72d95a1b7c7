#include "tests/native/dns/query/fake_dns_client.h"

#include <algorithm>
#include <cstring>

namespace orv::test {

FakeRecord ARecord(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  FakeRecord record;
  record.data = {a, b, c, d};
  return record;
}

FakeRecord AaaaRecord(std::uint8_t last, WORD dataLength) {
  FakeRecord record;
  record.type = DNS_TYPE_AAAA;
  record.dataLength = dataLength;
  record.data = {0x20, 0x01, 0x0d, 0xb8};
  record.data[15] = last;
  return record;
}

FakeRecord CnameRecord() {
  FakeRecord record;
  record.type = DNS_TYPE_CNAME;
  record.dataLength = sizeof(void*);
  return record;
}

FakeDnsClient& FakeDnsClient::Instance() {
  static FakeDnsClient client;
  return client;
}

dns::DnsQueryPlatform FakeDnsClient::Platform() const {
  dns::DnsQueryPlatform platform;
  platform.DnsQueryEx = &QueryEx;
  platform.DnsFree = &Free;
  return platform;
}

void FakeDnsClient::Reset() {
  for (DNS_RECORDW* list : outstanding_) delete[] list;
  *this = FakeDnsClient();
}

void FakeDnsClient::Answer(std::vector<FakeRecord> records, DNS_STATUS callResult, DNS_STATUS queryStatus,
                           bool withList) {
  records_ = std::move(records);
  callResult_ = callResult;
  queryStatus_ = queryStatus;
  withList_ = withList;
}

DNS_STATUS WINAPI FakeDnsClient::QueryEx(PDNS_QUERY_REQUEST request, PDNS_QUERY_RESULT result,
                                         PDNS_QUERY_CANCEL cancel) {
  FakeDnsClient& c = Instance();
  ++c.queries_;
  Request& seen = c.lastRequest_;
  seen.version = request->Version;
  seen.name = request->QueryName != nullptr ? request->QueryName : L"";
  seen.type = request->QueryType;
  seen.options = request->QueryOptions;
  seen.hasServerList = request->pDnsServerList != nullptr;
  seen.interfaceIndex = request->InterfaceIndex;
  seen.hasCallback = request->pQueryCompletionCallback != nullptr;
  seen.hasContext = request->pQueryContext != nullptr;
  seen.resultVersion = result->Version;
  seen.hasCancel = cancel != nullptr;

  result->QueryStatus = c.queryStatus_;
  result->pQueryRecords = nullptr;
  if (c.withList_ && !c.records_.empty()) {
    auto* list = new DNS_RECORDW[c.records_.size()]();
    for (std::size_t i = 0; i < c.records_.size(); ++i) {
      const FakeRecord& source = c.records_[i];
      list[i].pNext = i + 1 < c.records_.size() ? &list[i + 1] : nullptr;
      list[i].pName = const_cast<PWSTR>(L"fake.test");
      list[i].wType = source.type;
      list[i].wDataLength = source.dataLength;
      // As the DNS client fills them: the section, and the text's character set above it.
      list[i].Flags.S.Section = source.section;
      list[i].Flags.S.CharSet = DnsCharSetUnicode;
      std::memcpy(&list[i].Data, source.data.data(), std::min<std::size_t>(source.data.size(), sizeof(list[i].Data)));
    }
    c.outstanding_.push_back(list);
    ++c.listsHandedOut_;
    result->pQueryRecords = list;
  }
  return c.callResult_;
}

VOID WINAPI FakeDnsClient::Free(PVOID data, DNS_FREE_TYPE type) {
  FakeDnsClient& c = Instance();
  auto it = std::find(c.outstanding_.begin(), c.outstanding_.end(), data);
  if (it == c.outstanding_.end() || type != DnsFreeRecordList) {
    ++c.wrongFrees_;
    return;
  }
  delete[] *it;
  c.outstanding_.erase(it);
  ++c.listsFreed_;
}

}  // namespace orv::test
