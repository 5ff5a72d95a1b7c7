#pragma once
// A DNS client for the query-export tests: it answers every query with the
// records and statuses the test set, remembers the request, and counts the
// record lists it handed out and the ones freed. One instance per process.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "native/dns/query/dns_query_platform.h"

namespace orv::test {

struct FakeRecord {
  WORD type = DNS_TYPE_A;
  DWORD section = DNSREC_ANSWER;
  WORD dataLength = 4;
  std::array<std::uint8_t, 16> data = {};
};

FakeRecord ARecord(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
FakeRecord AaaaRecord(std::uint8_t last, WORD dataLength = 16);
FakeRecord CnameRecord();

class FakeDnsClient {
 public:
  static FakeDnsClient& Instance();
  dns::DnsQueryPlatform Platform() const;
  void Reset();

  // What the next queries answer: the call's own result, the result record's
  // status and its records (no list at all when withList is false).
  void Answer(std::vector<FakeRecord> records, DNS_STATUS callResult = 0, DNS_STATUS queryStatus = 0,
              bool withList = true);

  struct Request {
    ULONG version = 0;
    std::wstring name;
    WORD type = 0;
    ULONG64 options = 0;
    bool hasServerList = true;
    ULONG interfaceIndex = 0;
    bool hasCallback = true;
    bool hasContext = true;
    ULONG resultVersion = 0;
    bool hasCancel = true;
  };
  int queries() const { return queries_; }
  const Request& lastRequest() const { return lastRequest_; }
  int listsHandedOut() const { return listsHandedOut_; }
  int listsFreed() const { return listsFreed_; }
  int wrongFrees() const { return wrongFrees_; }

 private:
  FakeDnsClient() = default;
  static DNS_STATUS WINAPI QueryEx(PDNS_QUERY_REQUEST request, PDNS_QUERY_RESULT result, PDNS_QUERY_CANCEL cancel);
  static VOID WINAPI Free(PVOID data, DNS_FREE_TYPE type);

  std::vector<FakeRecord> records_;
  DNS_STATUS callResult_ = 0;
  DNS_STATUS queryStatus_ = 0;
  bool withList_ = true;
  Request lastRequest_;
  int queries_ = 0;
  int listsHandedOut_ = 0;
  int listsFreed_ = 0;
  int wrongFrees_ = 0;
  std::vector<DNS_RECORDW*> outstanding_;
};

}  // namespace orv::test
