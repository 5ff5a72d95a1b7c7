#pragma once
// Exports of the DNS client trace: start recording what happens to one host
// name, then finish and collect everything as one JSON document.

#include <windows.h>

#include <cstdint>

extern "C" {
DWORD WINAPI OrvDnsTraceStart(const wchar_t* name, std::uint64_t* traceId) noexcept;
DWORD WINAPI OrvDnsTraceFinish(std::uint64_t traceId, std::uint8_t* buffer, std::uint32_t bufferSize,
                               std::uint32_t* written) noexcept;
}
