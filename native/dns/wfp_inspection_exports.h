#pragma once
// The filtering-platform inspection exports: the DNS filter preflight and the
// presence check of one filter.

#include <windows.h>

#include <cstdint>

extern "C" {

DWORD WINAPI OrvDnsWfpPreflight(const wchar_t** interfaceGuids, std::uint32_t count, std::uint8_t* buffer,
                                std::uint32_t bufferSize, std::uint32_t* written) noexcept;

DWORD WINAPI OrvDnsWfpCompare(const wchar_t* filterKey, std::uint64_t filterId, std::uint8_t* buffer,
                              std::uint32_t bufferSize, std::uint32_t* written) noexcept;

}  // extern "C"
