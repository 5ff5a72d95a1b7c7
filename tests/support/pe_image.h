#pragma once
// Test support: reads a PE file's export and import tables straight from the
// file bytes, independently of the loader.

#include <optional>
#include <string>
#include <vector>

namespace orv::test {

struct PeImport {
  std::string library;
  std::vector<std::string> functions;  // by-name imports only
};

struct PeTables {
  std::vector<std::string> exports;  // names in the export name table
  std::vector<PeImport> imports;
};

std::optional<PeTables> ReadPeTables(const std::wstring& path);

// The EXPORTS names of a module-definition file.
std::vector<std::string> ReadDefExports(const std::string& defText);

}  // namespace orv::test
