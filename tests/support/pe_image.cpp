#include "tests/support/pe_image.h"

#include <windows.h>

#include <cstring>
#include <sstream>

#include "tests/support/process.h"

namespace orv::test {
namespace {

class Image {
 public:
  explicit Image(std::string bytes) : bytes_(std::move(bytes)) {}

  bool Parse() {
    IMAGE_DOS_HEADER dos;
    if (!Read(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return false;
    ntOffset_ = static_cast<size_t>(dos.e_lfanew);
    if (!Read(ntOffset_, nt_) || nt_.Signature != IMAGE_NT_SIGNATURE ||
        nt_.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
      return false;
    }
    size_t sectionOffset = ntOffset_ + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + nt_.FileHeader.SizeOfOptionalHeader;
    for (unsigned i = 0; i < nt_.FileHeader.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER section;
      if (!Read(sectionOffset + i * sizeof section, section)) return false;
      sections_.push_back(section);
    }
    return true;
  }

  const IMAGE_DATA_DIRECTORY& Directory(unsigned index) const { return nt_.OptionalHeader.DataDirectory[index]; }

  std::optional<size_t> Offset(DWORD rva) const {
    for (const auto& s : sections_) {
      const DWORD size = s.SizeOfRawData > s.Misc.VirtualSize ? s.SizeOfRawData : s.Misc.VirtualSize;
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + size) {
        return static_cast<size_t>(rva - s.VirtualAddress) + s.PointerToRawData;
      }
    }
    return std::nullopt;
  }

  template <typename T>
  bool Read(size_t offset, T& out) const {
    if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) return false;
    std::memcpy(&out, bytes_.data() + offset, sizeof(T));
    return true;
  }

  template <typename T>
  bool ReadRva(DWORD rva, T& out) const {
    const auto offset = Offset(rva);
    return offset && Read(*offset, out);
  }

  std::optional<std::string> String(DWORD rva) const {
    const auto offset = Offset(rva);
    if (!offset || *offset >= bytes_.size()) return std::nullopt;
    const size_t end = bytes_.find('\0', *offset);
    if (end == std::string::npos) return std::nullopt;
    return bytes_.substr(*offset, end - *offset);
  }

 private:
  std::string bytes_;
  size_t ntOffset_ = 0;
  IMAGE_NT_HEADERS64 nt_{};
  std::vector<IMAGE_SECTION_HEADER> sections_;
};

bool ReadExports(const Image& image, std::vector<std::string>& names) {
  const auto& dir = image.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
  if (dir.VirtualAddress == 0) return true;
  IMAGE_EXPORT_DIRECTORY exports;
  if (!image.ReadRva(dir.VirtualAddress, exports)) return false;
  for (DWORD i = 0; i < exports.NumberOfNames; ++i) {
    DWORD nameRva = 0;
    if (!image.ReadRva(exports.AddressOfNames + i * sizeof(DWORD), nameRva)) return false;
    auto name = image.String(nameRva);
    if (!name) return false;
    names.push_back(*name);
  }
  return true;
}

bool ReadImports(const Image& image, std::vector<PeImport>& imports) {
  const auto& dir = image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
  if (dir.VirtualAddress == 0) return true;
  for (DWORD rva = dir.VirtualAddress;; rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR descriptor;
    if (!image.ReadRva(rva, descriptor)) return false;
    if (descriptor.Name == 0) break;
    PeImport import;
    auto library = image.String(descriptor.Name);
    if (!library) return false;
    import.library = *library;
    DWORD thunkRva = descriptor.OriginalFirstThunk != 0 ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
    for (;; thunkRva += sizeof(ULONGLONG)) {
      ULONGLONG thunk = 0;
      if (!image.ReadRva(thunkRva, thunk)) return false;
      if (thunk == 0) break;
      if (thunk & IMAGE_ORDINAL_FLAG64) continue;
      auto name = image.String(static_cast<DWORD>(thunk) + sizeof(WORD));  // skip the hint
      if (!name) return false;
      import.functions.push_back(*name);
    }
    imports.push_back(std::move(import));
  }
  return true;
}

}  // namespace

std::optional<PeTables> ReadPeTables(const std::wstring& path) {
  auto bytes = ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  Image image(std::move(*bytes));
  if (!image.Parse()) return std::nullopt;
  PeTables tables;
  if (!ReadExports(image, tables.exports) || !ReadImports(image, tables.imports)) return std::nullopt;
  return tables;
}

std::vector<std::string> ReadDefExports(const std::string& defText) {
  std::vector<std::string> names;
  std::istringstream lines(defText);
  std::string line;
  bool inExports = false;
  while (std::getline(lines, line)) {
    if (const size_t comment = line.find(';'); comment != std::string::npos) line.erase(comment);
    std::istringstream words(line);
    std::string word;
    if (!(words >> word)) continue;
    if (word == "EXPORTS") {
      inExports = true;
      continue;
    }
    if (inExports) names.push_back(word);
  }
  return names;
}

}  // namespace orv::test
