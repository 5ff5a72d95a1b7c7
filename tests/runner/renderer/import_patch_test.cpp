// The import-table patch on synthetic images laid out in memory the way the
// loader leaves a module: headers, import descriptors, lookup and address
// tables, hint/name records.

#include "runner/renderer/import_patch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace orv {
namespace {

struct Import {
  std::string name;  // empty: by ordinal
  std::uint16_t ordinal = 0;
};

class SyntheticImage {
 public:
  SyntheticImage() {
    base_ = static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    base_[0] = 'M';
    base_[1] = 'Z';
    Put<std::uint32_t>(0x3C, kNt);
    std::memcpy(base_ + kNt, "PE\0\0", 4);
    Put<std::uint32_t>(kNt + 0x90, kDescriptors);
  }
  ~SyntheticImage() { ::VirtualFree(base_, 0, MEM_RELEASE); }

  // Adds one imported library; returns the RVA of its address table.
  std::uint32_t AddLibrary(const char* library, const std::vector<Import>& imports, bool withLookupTable = true) {
    const std::uint32_t lookup = Reserve(8 * (imports.size() + 1));
    const std::uint32_t address = Reserve(8 * (imports.size() + 1));
    for (size_t i = 0; i < imports.size(); ++i) {
      std::uint64_t entry = 0x8000000000000000ull | imports[i].ordinal;
      if (!imports[i].name.empty()) {
        const std::uint32_t record = Reserve(2 + imports[i].name.size() + 1);
        std::memcpy(base_ + record + 2, imports[i].name.c_str(), imports[i].name.size() + 1);
        entry = record;
      }
      Put<std::uint64_t>(lookup + 8 * i, entry);
      Put<std::uint64_t>(address + 8 * i, kOriginal + i);
    }
    const std::uint32_t name = Reserve(std::strlen(library) + 1);
    std::memcpy(base_ + name, library, std::strlen(library) + 1);
    const std::uint32_t descriptor = kDescriptors + 20 * libraries_++;
    Put<std::uint32_t>(descriptor, withLookupTable ? lookup : 0);
    Put<std::uint32_t>(descriptor + 12, name);
    Put<std::uint32_t>(descriptor + 16, address);
    return address;
  }

  HMODULE module() const { return reinterpret_cast<HMODULE>(base_); }
  std::uint64_t Entry(std::uint32_t table, size_t index) const {
    std::uint64_t value;
    std::memcpy(&value, base_ + table + 8 * index, sizeof value);
    return value;
  }
  template <typename T>
  void Put(std::uint32_t at, T value) {
    std::memcpy(base_ + at, &value, sizeof value);
  }

  static constexpr std::uint64_t kOriginal = 0x1111000;

 private:
  std::uint32_t Reserve(size_t bytes) {
    const std::uint32_t at = next_;
    next_ += static_cast<std::uint32_t>((bytes + 7) & ~size_t{7});
    return at;
  }

  static constexpr size_t kSize = 0x4000;
  static constexpr std::uint32_t kNt = 0x80;
  static constexpr std::uint32_t kDescriptors = 0x200;
  std::uint8_t* base_ = nullptr;
  std::uint32_t next_ = 0x800;
  unsigned libraries_ = 0;
};

int g_marker;
const void* const kReplacement = &g_marker;
const auto kReplacementValue = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&g_marker));

TEST(ImportPatch, ReplacesTheNamedEntryAndNothingElse) {
  SyntheticImage image;
  const auto table = image.AddLibrary("d3d11.dll", {{"D3D11CreateDeviceAndSwapChain"}, {"D3D11CreateDevice"}});
  EXPECT_TRUE(PatchEngineImport(image.module(), "D3D11CreateDevice", kReplacement));
  EXPECT_EQ(image.Entry(table, 0), SyntheticImage::kOriginal);
  EXPECT_EQ(image.Entry(table, 1), kReplacementValue);
}

TEST(ImportPatch, OnlyTheFirstMatchInTheWholeTableIsPatchedWhateverTheLibrary) {
  SyntheticImage image;
  const auto first = image.AddLibrary("KERNEL32.dll", {{"GetProcAddress"}});
  const auto second = image.AddLibrary("api-ms-win-core-libraryloader.dll", {{"GetProcAddress"}});
  EXPECT_TRUE(PatchEngineImport(image.module(), "GetProcAddress", kReplacement));
  EXPECT_EQ(image.Entry(first, 0), kReplacementValue);
  EXPECT_EQ(image.Entry(second, 0), SyntheticImage::kOriginal);
}

TEST(ImportPatch, NamesAreCaseSensitiveAndOrdinalsAreSkipped) {
  SyntheticImage image;
  const auto table = image.AddLibrary("d3d11.dll", {{"", 7}, {"d3d11createdevice"}});
  EXPECT_FALSE(PatchEngineImport(image.module(), "D3D11CreateDevice", kReplacement));
  EXPECT_EQ(image.Entry(table, 0), SyntheticImage::kOriginal);
  EXPECT_EQ(image.Entry(table, 1), SyntheticImage::kOriginal + 1);
}

TEST(ImportPatch, DescriptorsWithoutALookupTableAreSkipped) {
  SyntheticImage image;
  const auto bound = image.AddLibrary("d3d11.dll", {{"D3D11CreateDevice"}}, /*withLookupTable=*/false);
  const auto later = image.AddLibrary("d3d11.dll", {{"D3D11CreateDevice"}});
  EXPECT_TRUE(PatchEngineImport(image.module(), "D3D11CreateDevice", kReplacement));
  EXPECT_EQ(image.Entry(bound, 0), SyntheticImage::kOriginal);
  EXPECT_EQ(image.Entry(later, 0), kReplacementValue);
}

TEST(ImportPatch, RefusesImagesWithBadSignaturesOrNoImports) {
  {
    SyntheticImage image;
    image.AddLibrary("d3d11.dll", {{"D3D11CreateDevice"}});
    image.Put<std::uint8_t>(0, 'N');
    EXPECT_FALSE(PatchEngineImport(image.module(), "D3D11CreateDevice", kReplacement));
  }
  {
    SyntheticImage image;
    image.AddLibrary("d3d11.dll", {{"D3D11CreateDevice"}});
    image.Put<std::uint8_t>(0x80 + 2, 1);  // "PE\1\0"
    EXPECT_FALSE(PatchEngineImport(image.module(), "D3D11CreateDevice", kReplacement));
  }
  {
    SyntheticImage image;
    image.Put<std::uint32_t>(0x80 + 0x90, 0);
    EXPECT_FALSE(PatchEngineImport(image.module(), "D3D11CreateDevice", kReplacement));
  }
  {
    SyntheticImage image;  // an import directory with no descriptors
    EXPECT_FALSE(PatchEngineImport(image.module(), "D3D11CreateDevice", kReplacement));
  }
  EXPECT_FALSE(PatchEngineImport(nullptr, "D3D11CreateDevice", kReplacement));
}

TEST(ImportPatch, TheEntryIsWrittenThroughARestoredReadOnlyPage) {
  SyntheticImage image;
  const auto table = image.AddLibrary("d3d11.dll", {{"D3D11CreateDevice"}});
  DWORD previous = 0;
  auto* entry = reinterpret_cast<std::uint8_t*>(image.module()) + table;
  ASSERT_TRUE(::VirtualProtect(entry, 8, PAGE_READONLY, &previous));
  EXPECT_TRUE(PatchEngineImport(image.module(), "D3D11CreateDevice", kReplacement));
  EXPECT_EQ(image.Entry(table, 0), kReplacementValue);
  MEMORY_BASIC_INFORMATION info{};
  ASSERT_NE(::VirtualQuery(entry, &info, sizeof info), 0u);
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READONLY));
  ::VirtualProtect(entry, 8, PAGE_READWRITE, &previous);
}

}  // namespace
}  // namespace orv
