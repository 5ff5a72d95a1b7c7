#pragma once
// The filtering-platform exports on a given engine table, behind their
// barrier: anything thrown inside answers 8.

#include <cstdint>

#include "native/dns/wfp/wfp_engine_api.h"

namespace orv::dns {

[[nodiscard]] std::uint32_t GuardedWfpPreflight(const WfpEngineApi& api, const wchar_t* const* interfaceGuids, std::uint32_t count,
                                                std::uint8_t* buffer, std::uint32_t bufferSize, std::uint32_t* written) noexcept;
[[nodiscard]] std::uint32_t GuardedWfpPresenceCheck(const WfpEngineApi& api, const wchar_t* filterKey, std::uint64_t filterId,
                                                    std::uint8_t* buffer, std::uint32_t bufferSize,
                                                    std::uint32_t* written) noexcept;

}  // namespace orv::dns
