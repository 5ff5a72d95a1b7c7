#pragma once
// Whether one filtering-platform filter, named by its key or its id, is still
// installed: "present" with its current id, "removed", or "unavailable".

#include <cstdint>
#include <string>

#include "native/dns/wfp/wfp_engine_api.h"

namespace orv::dns {

// The document: "present" with the filter's id when `code` is 0, else
// "removed" or "unavailable" with the code.
std::string WfpPresenceDocument(DWORD code, std::uint64_t filterId, bool byKey);

// The export's body: argument checks, the lookup and the caller's buffer. A
// non-empty key wins over the id.
[[nodiscard]] std::uint32_t WfpPresenceCheck(const WfpEngineApi& api, const wchar_t* filterKey, std::uint64_t filterId,
                                             std::uint8_t* buffer, std::uint32_t bufferSize, std::uint32_t* written);

}  // namespace orv::dns
