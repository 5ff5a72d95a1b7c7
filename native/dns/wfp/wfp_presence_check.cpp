#include "native/dns/wfp/wfp_presence_check.h"

#include <string>

#include "native/common/caller_buffer.h"
#include "native/common/diagnostic_json.h"
#include "native/common/guid_text.h"

namespace orv::dns {

namespace {

constexpr DWORD kFilterNotFound = 0x80320003;  // FWP_E_FILTER_NOT_FOUND

struct Lookup {
  DWORD code = ERROR_SUCCESS;
  std::uint64_t id = 0;
};

Lookup Find(const WfpEngineApi& api, const GUID* key, std::uint64_t filterId) {
  WfpEngineSession engine(api);
  Lookup lookup;
  lookup.code = api.FwpmEngineOpen0(nullptr, RPC_C_AUTHN_WINNT, nullptr, nullptr, engine.put());
  if (lookup.code != ERROR_SUCCESS) return lookup;
  WfpMemory<FWPM_FILTER0> filter(api);
  lookup.code = key != nullptr ? api.FwpmFilterGetByKey0(engine.get(), key, filter.put())
                               : api.FwpmFilterGetById0(engine.get(), filterId, filter.put());
  if (lookup.code == ERROR_SUCCESS && !filter) lookup.code = ERROR_INVALID_DATA;
  // By key, the platform's id is the news: the caller may never have known it.
  if (lookup.code == ERROR_SUCCESS) lookup.id = filter->filterId;
  return lookup;
}

}  // namespace

std::string WfpPresenceDocument(DWORD code, std::uint64_t filterId, bool byKey) {
  const char* status = code == ERROR_SUCCESS ? "present" : code == kFilterNotFound ? "removed" : "unavailable";
  std::string json = "{\"status\":\"";
  json.append(status).push_back('"');
  json.append(byKey ? ",\"identity\":\"filterKey\"" : ",\"identity\":\"filterId\"");
  if (code != ERROR_SUCCESS) {
    AppendUnsignedMember(json, "nativeErrorCode", code);
  } else {
    json.append(",\"filterId\":\"").append(std::to_string(filterId)).push_back('"');
  }
  json.push_back('}');
  return json;
}

std::uint32_t WfpPresenceCheck(const WfpEngineApi& api, const wchar_t* filterKey, std::uint64_t filterId,
                               std::uint8_t* buffer, std::uint32_t bufferSize, std::uint32_t* written) {
  const CallerBuffer out{buffer, bufferSize, written};
  if (const std::uint32_t result = out.Open(); result != 0) return result;
  const bool byKey = filterKey != nullptr && filterKey[0] != L'\0';
  if (!byKey && filterId == 0) return ERROR_INVALID_PARAMETER;
  GUID key = {};
  if (byKey && !GuidFromBracedText(filterKey, key)) return ERROR_INVALID_PARAMETER;
  const Lookup lookup = Find(api, byKey ? &key : nullptr, filterId);
  return out.Deliver(WfpPresenceDocument(lookup.code, lookup.id, byKey));
}

}  // namespace orv::dns
