#pragma once
// The DNS client calls of the query exports, as one table. Production code
// uses Production() (the real functions); tests hand in answers of their own
// or forward to another resolver, since a test machine's emulation does not
// send DnsQueryEx queries.

#include "native/common/sdk_additions.h"

namespace orv::dns {

struct DnsQueryPlatform {
  decltype(&::DnsQueryEx) DnsQueryEx = ::DnsQueryEx;
  decltype(&::DnsFree) DnsFree = ::DnsFree;

  static const DnsQueryPlatform& Production() noexcept;
};

}  // namespace orv::dns
