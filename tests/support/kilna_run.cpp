#include "tests/support/kilna_run.h"

namespace orv::test {

KilnaRun RunKilna(const KilnaOptions& options) {
  TempFolder work;
  std::string script;
  for (const auto& line : options.script) script += line + "\n";
  WriteWholeFile(work / L"script.jsonl", script);

  EnvironmentChanges env = {
      {L"FLUTTER_STANDIN_SCRIPT", work / L"script.jsonl"},
      {L"FLUTTER_STANDIN_TRANSCRIPT", work / L"transcript.jsonl"},
      {L"ORV_DIAGNOSTICS_DIR", work.path()},
      {L"ORV_STARTUP_DIAGNOSTICS", options.diagnostics ? std::optional<std::wstring>(L"1") : std::nullopt},
  };
  for (const auto& [name, value] : options.environment) env[name] = value;

  const std::wstring executable = options.executable.empty() ? BinaryFolder() + L"\\kilna.exe" : options.executable;
  const std::wstring folder = executable.substr(0, executable.find_last_of(L'\\'));
  KilnaRun run;
  run.process = RunProcess(executable, options.arguments, env, folder, options.timeoutMs);
  run.transcript = SplitLines(ReadWholeFile(work / L"transcript.jsonl").value_or(""));
  run.log = ReadWholeFile(work / L"windows-renderer.log").value_or("");
  for (const auto& line : SplitLines(run.log)) {
    if (const size_t at = line.find(" stage="); at != std::string::npos && line.find("[startup]") != std::string::npos) {
      const size_t end = line.find(' ', at + 7);
      run.stages.push_back(line.substr(at + 7, end - at - 7));
    } else if (const size_t g = line.find("[graphics] "); g != std::string::npos) {
      run.graphics.push_back(line.substr(g + 11));
    }
  }
  return run;
}

std::string FindTranscriptLine(const KilnaRun& run, const std::vector<std::string>& fragments) {
  for (const auto& line : run.transcript) {
    bool all = true;
    for (const auto& fragment : fragments) all = all && line.find(fragment) != std::string::npos;
    if (all) return line;
  }
  return {};
}

}  // namespace orv::test
