#pragma once
// Test support: child processes with a controlled environment, temporary
// folders and whole-file reads.

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orv::test {

// The folder holding the running test executable (and the build's binaries).
std::wstring BinaryFolder();

// Environment changes for a child: a value sets the variable, nullopt removes it.
using EnvironmentChanges = std::map<std::wstring, std::optional<std::wstring>>;

struct ProcessResult {
  bool started = false;
  bool timedOut = false;
  DWORD exitCode = 0;
};

ProcessResult RunProcess(const std::wstring& executable, const std::vector<std::wstring>& arguments,
                         const EnvironmentChanges& environment = {}, const std::wstring& workingDirectory = {},
                         DWORD timeoutMs = 30000);

// A child started without waiting for it; killed if still running when dropped.
class StartedProcess {
 public:
  StartedProcess() = default;
  StartedProcess(HANDLE process, DWORD id) : process_(process), id_(id) {}
  StartedProcess(StartedProcess&& other) noexcept;
  StartedProcess& operator=(StartedProcess&& other) noexcept;
  ~StartedProcess();
  bool started() const { return process_ != nullptr; }
  DWORD id() const { return id_; }
  ProcessResult Wait(DWORD timeoutMs);

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

// `outputFile`, when given, receives the child's standard output and error,
// and with them Wine's own messages about the child (exceptions, crashes).
StartedProcess StartProcess(const std::wstring& executable, const std::vector<std::wstring>& arguments,
                            const EnvironmentChanges& environment = {}, const std::wstring& workingDirectory = {},
                            const std::wstring& outputFile = {});

// Quotes one argument the way CommandLineToArgvW reads it back.
std::wstring QuoteArgument(const std::wstring& argument);

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool FileExists(const std::wstring& path);
std::optional<std::string> ReadWholeFile(const std::wstring& path);
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
bool CopyBinary(const std::wstring& name, const std::wstring& toFolder);

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace orv::test
