#pragma once
// Exports that resolve a host name for the interface, returning the raw
// address bytes and a Windows error code (or the DNS client's status).

#include <windows.h>

#include <cstdint>

extern "C" {
DWORD WINAPI OrvQueryPhysicalDns(const wchar_t* name, std::uint32_t interfaceIndex, std::int32_t family,
                                 std::uint8_t* addresses, std::uint32_t capacity, std::uint32_t* count) noexcept;
DWORD WINAPI OrvQuerySystemDns(const wchar_t* name, std::int32_t family, std::uint8_t* addresses,
                               std::uint32_t capacity, std::uint32_t* count) noexcept;
}
