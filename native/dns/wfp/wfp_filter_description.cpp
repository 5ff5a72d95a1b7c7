#include "native/dns/wfp/wfp_filter_description.h"

#include <cwchar>
#include <string_view>

#include "native/common/diagnostic_json.h"
#include "native/common/guid_text.h"
#include "native/dns/wfp/wfp_condition_text.h"

namespace orv::dns {

namespace {

constexpr DWORD kFilterNotFound = 0x80320003;    // FWP_E_FILTER_NOT_FOUND
constexpr DWORD kProviderNotFound = 0x80320005;  // FWP_E_PROVIDER_NOT_FOUND
constexpr DWORD kSublayerNotFound = 0x80320007;  // FWP_E_SUBLAYER_NOT_FOUND

// A lookup that succeeds without an object is as good as corrupt.
template <typename T>
[[nodiscard]] DWORD Checked(DWORD result, const WfpMemory<T>& object) {
  return result == ERROR_SUCCESS && !object ? ERROR_INVALID_DATA : result;
}

void AppendProviderObject(std::string& json, const WfpEngineApi& api, HANDLE engine, const GUID* key) {
  if (key == nullptr) {
    json.append(",\"provider\":{\"status\":\"notSpecified\"}");
    return;
  }
  WfpMemory<FWPM_PROVIDER0> provider(api);
  const DWORD result = Checked(api.FwpmProviderGetByKey0(engine, key, provider.put()), provider);
  json.append(",\"provider\":{\"key\":\"").append(GuidText(*key)).push_back('"');
  AppendLookupStatusMembers(json, result);
  if (result == ERROR_SUCCESS) {
    AppendDisplayMember(json, "name", provider->displayData.name);
    AppendDisplayMember(json, "serviceName", provider->serviceName);
  }
  json.push_back('}');
}

void AppendSublayerObject(std::string& json, const WfpEngineApi& api, HANDLE engine, const GUID& key,
                          bool nestProvider) {
  WfpMemory<FWPM_SUBLAYER0> sublayer(api);
  const DWORD result = Checked(api.FwpmSubLayerGetByKey0(engine, &key, sublayer.put()), sublayer);
  json.append(",\"sublayer\":{\"key\":\"").append(GuidText(key)).push_back('"');
  AppendLookupStatusMembers(json, result);
  if (result == ERROR_SUCCESS) {
    AppendDisplayMember(json, "name", sublayer->displayData.name);
    if (sublayer->providerKey != nullptr) {
      AppendStringMember(json, "providerKey", GuidText(*sublayer->providerKey));
      if (nestProvider) AppendProviderObject(json, api, engine, sublayer->providerKey);
    }
  }
  json.push_back('}');
}

void AppendCondition(std::string& json, const FWPM_FILTER_CONDITION0& condition) {
  json.append("{\"fieldKey\":\"").append(GuidText(condition.fieldKey)).push_back('"');
  const KnownConditionField* known = FindKnownConditionField(condition.fieldKey);
  if (known != nullptr) AppendStringMember(json, "field", known->name);
  json.append(",\"matchType\":").append(std::to_string(static_cast<int>(condition.matchType)));
  json.append(",\"valueType\":").append(std::to_string(static_cast<int>(condition.conditionValue.type)));
  const bool isAddress = known != nullptr && known->isAddress;
  const std::string text = ConditionValueText(condition.conditionValue, isAddress);
  if (!text.empty()) {
    AppendStringMember(json, "value", text);
  } else if (const char* status = ConditionValueStatus(condition.conditionValue, isAddress)) {
    AppendStringMember(json, "valueStatus", status);
  }
  json.push_back('}');
}

void AppendConditionMembers(std::string& json, const FWPM_FILTER0& filter) {
  const size_t count = filter.numFilterConditions;
  const size_t shown = filter.filterCondition != nullptr ? (count < kShownConditions ? count : kShownConditions) : 0;
  AppendUnsignedMember(json, "conditionCount", count);
  AppendBoolMember(json, "conditionsTruncated", shown < count);
  json.append(",\"conditions\":[");
  for (size_t i = 0; i < shown; ++i) {
    if (i != 0) json.push_back(',');
    AppendCondition(json, filter.filterCondition[i]);
  }
  json.push_back(']');
}

}  // namespace

void AppendLookupStatusMembers(std::string& json, DWORD result) {
  const char* word = "unavailable";
  if (result == ERROR_SUCCESS) {
    word = "resolved";
  } else if (result == kFilterNotFound || result == kProviderNotFound || result == kSublayerNotFound) {
    word = "notFound";
  }
  AppendStringMember(json, "status", word);
  if (result != ERROR_SUCCESS) AppendUnsignedMember(json, "nativeErrorCode", result);
}

void AppendDisplayMember(std::string& json, const char* key, const wchar_t* text) {
  if (text == nullptr || text[0] == L'\0') return;
  const std::wstring_view shown(text, ::wcsnlen(text, kMaxDisplayUnits));
  if (shown.find_first_of(L"/\\") != std::wstring_view::npos) {
    AppendStringMember(json, key, "[redacted]");
    return;
  }
  char utf8[512];
  const int length = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, shown.data(),
                                           static_cast<int>(shown.size()), utf8, sizeof(utf8), nullptr, nullptr);
  if (length <= 0) return;
  AppendStringMember(json, key, std::string_view(utf8, static_cast<size_t>(length)));
}

std::string DescribeWfpFilter(const WfpEngineApi& api, HANDLE engine, std::uint64_t filterId) {
  std::string json;
  WfpMemory<FWPM_FILTER0> filter(api);
  const DWORD result = Checked(api.FwpmFilterGetById0(engine, filterId, filter.put()), filter);
  AppendLookupStatusMembers(json, result);
  if (result != ERROR_SUCCESS) return json;

  AppendStringMember(json, "filterKey", GuidText(filter->filterKey));
  AppendDisplayMember(json, "name", filter->displayData.name);
  AppendStringMember(json, "layerKey", GuidText(filter->layerKey));
  json.append(",\"action\":{\"type\":").append(std::to_string(filter->action.type));
  if ((filter->action.type & FWP_ACTION_FLAG_CALLOUT) != 0) {
    AppendStringMember(json, "calloutKey", GuidText(filter->action.calloutKey));
  }
  json.push_back('}');
  AppendProviderObject(json, api, engine, filter->providerKey);
  AppendSublayerObject(json, api, engine, filter->subLayerKey, filter->providerKey == nullptr);
  AppendConditionMembers(json, *filter.get());
  return json;
}

}  // namespace orv::dns
