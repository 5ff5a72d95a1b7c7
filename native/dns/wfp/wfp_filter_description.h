#pragma once
// Describes one filtering-platform filter for the DNS diagnostics: a run of
// JSON members (each beginning with a comma) naming its key, name, layer,
// action, provider, sublayer and first 16 conditions, or the status of a
// lookup that failed. Names that look like paths and identifying values are
// never written.

#include "native/dns/wfp/wfp_engine_api.h"

#include <cstdint>
#include <string>

namespace orv::dns {

inline constexpr std::size_t kShownConditions = 16;  // conditions written of any filter
inline constexpr std::size_t kMaxDisplayUnits = 128;  // a display name is cut here

// The engine is the caller's open session. Only allocation failures throw.
std::string DescribeWfpFilter(const WfpEngineApi& api, HANDLE engine, std::uint64_t filterId);

// ,"status":"<word>" and, for a failure, ,"nativeErrorCode":<code>.
void AppendLookupStatusMembers(std::string& json, DWORD result);

// ,"<key>":"<text>" for a display name: nothing when empty or not valid
// UTF-16, "[redacted]" when it holds a path separator, at most 128 units.
void AppendDisplayMember(std::string& json, const char* key, const wchar_t* text);

}  // namespace orv::dns
