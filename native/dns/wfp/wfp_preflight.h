#pragma once
// The filter preflight: would a filter block DNS from this machine to the
// accelerator's DNS server on every interface but the listed ones? Answers
// "blocked" with the filters, "clear", or "unavailable" with the native code.

#include <cstdint>
#include <string>

#include "native/dns/wfp/wfp_engine_api.h"
#include "native/dns/wfp/wfp_preflight_model.h"

namespace orv::dns {

// The export's body: argument checks, the evaluation and the caller's buffer.
[[nodiscard]] std::uint32_t WfpPreflight(const WfpEngineApi& api, const wchar_t* const* interfaceGuids, std::uint32_t count,
                                         std::uint8_t* buffer, std::uint32_t bufferSize, std::uint32_t* written);

// The document of an evaluation: "blocked" with its filters, else
// "unavailable" with its code, else "clear".
std::string WfpPreflightDocument(const Evaluation& evaluation);

// The JSON document for the interfaces given (count 1 to 64).
std::string WfpPreflightJson(const WfpEngineApi& api, const wchar_t* const* interfaceGuids, std::uint32_t count);

}  // namespace orv::dns
