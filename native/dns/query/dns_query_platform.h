#pragma once
// The DNS client calls of the query exports, as one table. Production code
// uses Production(): dnsapi.dll loaded from the system folder, looked up once.
// Tests hand in answers of their own or forward to another resolver, since a
// test machine's emulation does not send DnsQueryEx queries.

#include "native/dns/query/sdk_additions_dns_query.h"

namespace orv::dns {

struct DnsQueryPlatform {
  DnsQueryExFn DnsQueryEx = nullptr;
  decltype(&::DnsFree) DnsFree = nullptr;

  // Before Windows 8 dnsapi.dll has no DnsQueryEx: every query then answers
  // ERROR_PROC_NOT_FOUND (127) with no addresses.
  static const DnsQueryPlatform& Production() noexcept;
};

}  // namespace orv::dns
