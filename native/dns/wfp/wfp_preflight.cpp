#include "native/dns/wfp/wfp_preflight.h"

#include <vector>

#include "native/common/caller_buffer.h"
#include "native/common/diagnostic_json.h"
#include "native/common/guid_text.h"
#include "native/dns/wfp/wfp_filter_pages.h"
#include "native/dns/wfp/wfp_preflight_evaluation.h"
#include "native/dns/wfp/wfp_preflight_interfaces.h"
#include "native/dns/wfp/wfp_preflight_records.h"

namespace orv::dns {

namespace {

constexpr std::uint32_t kMaxInterfaces = 64;
constexpr DWORD kPathCapacity = 32768;
// Room left for "\svchost.exe" and its NUL.
constexpr DWORD kMaxSystemDirectory = 32755;

}  // namespace

std::string WfpPreflightDocument(const Evaluation& evaluation) {
  const char* status = !evaluation.reported.empty() ? "blocked" : evaluation.code != 0 ? "unavailable" : "clear";
  std::string json = "{\"status\":\"";
  json.append(status).push_back('"');
  if (evaluation.code != 0) AppendUnsignedMember(json, "nativeErrorCode", evaluation.code);
  json.append(",\"filters\":[");
  for (size_t i = 0; i < evaluation.reported.size(); ++i) {
    const ReportedFilter& filter = evaluation.reported[i];
    json.append(i == 0 ? "{" : ",{");
    json.append("\"filterId\":\"").append(std::to_string(filter.id)).push_back('"');
    AppendStringMember(json, "filterKey", GuidText(GuidOfKey(filter.key)));
    json.push_back('}');
  }
  json.append("]}");
  return json;
}

namespace {

std::string Unavailable(DWORD code) {
  Evaluation evaluation;
  evaluation.code = code;
  return WfpPreflightDocument(evaluation);
}

// The id blob of a program, or nothing when the platform cannot make one.
std::optional<std::vector<std::uint8_t>> AppIdOf(const WfpEngineApi& api, const wchar_t* path) {
  WfpMemory<FWP_BYTE_BLOB> blob(api);
  if (api.FwpmGetAppIdFromFileName0(path, blob.put()) != ERROR_SUCCESS || !blob) return std::nullopt;
  return BlobBytes(*blob.get());
}

void ReadAppIds(const WfpEngineApi& api, Context& context) {
  std::vector<wchar_t> path(kPathCapacity);
  DWORD length = ::GetModuleFileNameW(nullptr, path.data(), kPathCapacity);
  if (length != 0 && length < kPathCapacity) context.selfAppId = AppIdOf(api, path.data());
  length = ::GetSystemDirectoryW(path.data(), kPathCapacity);
  if (length != 0 && length <= kMaxSystemDirectory) {
    ::wcscpy(path.data() + length, L"\\svchost.exe");
    context.serviceHostAppId = AppIdOf(api, path.data());
  }
}

}  // namespace

std::string WfpPreflightJson(const WfpEngineApi& api, const wchar_t* const* interfaceGuids, std::uint32_t count) {
  const ListedInterfaces listed = ListInterfaces(interfaceGuids, count);
  if (listed.interfaces.empty()) return Unavailable(listed.firstError);

  // An engine or enumeration failure stops the evaluation, so its code is the
  // one reported even when an interface could not be listed before it.
  WfpEngineSession engine(api);
  DWORD result = api.FwpmEngineOpen0(nullptr, RPC_C_AUTHN_WINNT, nullptr, nullptr, engine.put());
  if (result != ERROR_SUCCESS) return Unavailable(result);
  WfpFilterPages pages(api);
  result = pages.Read(engine.get());
  if (result != ERROR_SUCCESS) return Unavailable(result);

  Context context;
  context.interfaces = listed.interfaces;
  ReadAppIds(api, context);
  std::vector<Filter> filters;
  filters.reserve(pages.filters().size());
  for (const FWPM_FILTER0* filter : pages.filters()) filters.push_back(PlainFilter(*filter));

  const SublayerWeightLookup sublayerWeight = [&](const Key& key) -> std::optional<std::uint16_t> {
    const GUID guid = GuidOfKey(key);
    WfpMemory<FWPM_SUBLAYER0> sublayer(api);
    if (api.FwpmSubLayerGetByKey0(engine.get(), &guid, sublayer.put()) != ERROR_SUCCESS || !sublayer) {
      return std::nullopt;
    }
    return sublayer->weight;
  };
  return WfpPreflightDocument(EvaluatePreflight(filters, context, listed.firstError, sublayerWeight));
}

std::uint32_t WfpPreflight(const WfpEngineApi& api, const wchar_t* const* interfaceGuids, std::uint32_t count,
                           std::uint8_t* buffer, std::uint32_t bufferSize, std::uint32_t* written) {
  const CallerBuffer out{buffer, bufferSize, written};
  if (const std::uint32_t result = out.Open(); result != 0) return result;
  if (interfaceGuids == nullptr || count < 1 || count > kMaxInterfaces) return ERROR_INVALID_PARAMETER;
  return out.Deliver(WfpPreflightJson(api, interfaceGuids, count));
}

}  // namespace orv::dns
