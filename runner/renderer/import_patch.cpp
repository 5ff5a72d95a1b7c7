#include "runner/renderer/import_patch.h"

#include <cstdint>
#include <cstring>

namespace orv {
namespace {

constexpr std::uint64_t kImportByOrdinal = 0x8000000000000000ull;
constexpr std::uint32_t kNtHeadersOffsetField = 0x3C;
constexpr std::uint32_t kImportDirectoryField = 0x90;  // data directory 1 of the 64-bit optional header

struct ImportDescriptor {
  std::uint32_t originalFirstThunk;
  std::uint32_t timeDateStamp;
  std::uint32_t forwarderChain;
  std::uint32_t name;
  std::uint32_t firstThunk;
};

template <typename T>
T ReadAt(const std::uint8_t* base, std::uintptr_t offset) {
  T value;
  std::memcpy(&value, base + offset, sizeof value);
  return value;
}

bool Exchange(std::uint64_t* entry, const void* replacement) {
  DWORD previous = 0;
  if (!::VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &previous)) return false;
  ::InterlockedExchange64(reinterpret_cast<volatile LONG64*>(entry),
                          static_cast<LONG64>(reinterpret_cast<std::uintptr_t>(replacement)));
  DWORD ignored = 0;
  return ::VirtualProtect(entry, sizeof *entry, previous, &ignored) != FALSE;
}

}  // namespace

bool PatchEngineImport(HMODULE module, const char* name, const void* replacement) noexcept {
  if (module == nullptr || name == nullptr) return false;
  const auto* base = reinterpret_cast<const std::uint8_t*>(module);
  if (base[0] != 0x4D || base[1] != 0x5A) return false;
  const auto ntOffset = ReadAt<std::uint32_t>(base, kNtHeadersOffsetField);
  if (std::memcmp(base + ntOffset, "PE\0\0", 4) != 0) return false;
  const auto importRva = ReadAt<std::uint32_t>(base, ntOffset + kImportDirectoryField);
  if (importRva == 0) return false;

  for (std::uintptr_t at = importRva;; at += sizeof(ImportDescriptor)) {
    const auto descriptor = ReadAt<ImportDescriptor>(base, at);
    if (descriptor.name == 0) break;
    if (descriptor.originalFirstThunk == 0) continue;
    for (std::uintptr_t i = 0;; ++i) {
      const auto lookup = ReadAt<std::uint64_t>(base, descriptor.originalFirstThunk + i * 8);
      if (lookup == 0) break;
      if (lookup & kImportByOrdinal) continue;
      const auto* importName = reinterpret_cast<const char*>(base + static_cast<std::uint32_t>(lookup) + 2);
      if (std::strcmp(importName, name) != 0) continue;
      auto* entry = reinterpret_cast<std::uint64_t*>(const_cast<std::uint8_t*>(base) + descriptor.firstThunk + i * 8);
      return Exchange(entry, replacement);
    }
  }
  return false;
}

}  // namespace orv
