#pragma once
// Converts the platform's filter structures into the preflight's plain
// records. Only what the evaluation reads is copied; application-id blobs only
// for the application-id field.

#include <vector>

#include "native/dns/wfp/sdk_additions_wfp.h"
#include "native/dns/wfp/wfp_preflight_model.h"

namespace orv::dns {

Key KeyOfGuid(const GUID& guid) noexcept;
GUID GuidOfKey(const Key& key) noexcept;

Filter PlainFilter(const FWPM_FILTER0& filter);
std::vector<std::uint8_t> BlobBytes(const FWP_BYTE_BLOB& blob);

}  // namespace orv::dns
