#pragma once
// Runs user_context_probe.exe in a fresh process and reads back its report of
// "key=value" lines.

#include <map>
#include <string>

#include "tests/support/process.h"

namespace orv::test {

struct ProbeReport {
  ProcessResult process;
  std::map<std::string, std::string> values;
  std::string operator[](const std::string& key) const {
    const auto found = values.find(key);
    return found == values.end() ? "<absent>" : found->second;
  }
};

inline ProbeReport RunUserProbe(const std::wstring& mode, const std::wstring& argument = {},
                                const EnvironmentChanges& environment = {}) {
  TempFolder folder;
  const std::wstring reportPath = folder / L"report.txt";
  std::vector<std::wstring> arguments = {reportPath, mode};
  if (!argument.empty()) arguments.push_back(argument);
  ProbeReport report;
  report.process = RunProcess(BinaryFolder() + L"\\user_context_probe.exe", arguments, environment);
  for (const auto& line : SplitLines(ReadWholeFile(reportPath).value_or(""))) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) report.values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return report;
}

}  // namespace orv::test
