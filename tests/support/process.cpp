#include "tests/support/process.h"

#include <atomic>
#include <stdexcept>
#include <utility>

namespace orv::test {

std::wstring BinaryFolder() {
  std::wstring path(32768, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

namespace {

std::wstring EnvironmentBlock(const EnvironmentChanges& changes) {
  // Case-insensitive merge of the current environment with the changes.
  std::map<std::wstring, std::pair<std::wstring, std::wstring>> merged;  // upper name -> (name, value)
  auto upper = [](std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(::towupper(c));
    return s;
  };
  wchar_t* block = ::GetEnvironmentStringsW();
  for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1) {
    std::wstring entry(p);
    const size_t eq = entry.find(L'=', 1);
    if (eq == std::wstring::npos) continue;
    merged[upper(entry.substr(0, eq))] = {entry.substr(0, eq), entry.substr(eq + 1)};
  }
  ::FreeEnvironmentStringsW(block);
  for (const auto& [name, value] : changes) {
    if (value) {
      merged[upper(name)] = {name, *value};
    } else {
      merged.erase(upper(name));
    }
  }
  std::wstring result;
  for (const auto& [key, entry] : merged) {
    result += entry.first + L"=" + entry.second;
    result.push_back(L'\0');
  }
  result.push_back(L'\0');
  return result;
}

}  // namespace

StartedProcess StartProcess(const std::wstring& executable, const std::vector<std::wstring>& arguments,
                            const EnvironmentChanges& environment, const std::wstring& workingDirectory,
                            const std::wstring& outputFile) {
  std::wstring commandLine = QuoteArgument(executable);
  for (const auto& argument : arguments) commandLine += L" " + QuoteArgument(argument);
  std::wstring block = EnvironmentBlock(environment);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  HANDLE output = INVALID_HANDLE_VALUE;
  if (!outputFile.empty()) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    output = ::CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) return {};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
  }
  PROCESS_INFORMATION info{};
  const BOOL created = ::CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr,
                                        output != INVALID_HANDLE_VALUE, CREATE_UNICODE_ENVIRONMENT, block.data(),
                                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &info);
  if (output != INVALID_HANDLE_VALUE) ::CloseHandle(output);
  if (!created) return {};
  ::CloseHandle(info.hThread);
  return StartedProcess(info.hProcess, info.dwProcessId);
}

StartedProcess::StartedProcess(StartedProcess&& other) noexcept : process_(other.process_), id_(other.id_) {
  other.process_ = nullptr;
}

StartedProcess& StartedProcess::operator=(StartedProcess&& other) noexcept {
  std::swap(process_, other.process_);
  std::swap(id_, other.id_);
  return *this;
}

StartedProcess::~StartedProcess() {
  if (process_ == nullptr) return;
  if (::WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
    ::TerminateProcess(process_, 0xDEAD);
    ::WaitForSingleObject(process_, 5000);
  }
  ::CloseHandle(process_);
}

ProcessResult StartedProcess::Wait(DWORD timeoutMs) {
  ProcessResult result;
  if (process_ == nullptr) return result;
  result.started = true;
  if (::WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) {
    result.timedOut = true;
    ::TerminateProcess(process_, 0xDEAD);
    ::WaitForSingleObject(process_, 5000);
  }
  ::GetExitCodeProcess(process_, &result.exitCode);
  return result;
}

ProcessResult RunProcess(const std::wstring& executable, const std::vector<std::wstring>& arguments,
                         const EnvironmentChanges& environment, const std::wstring& workingDirectory,
                         DWORD timeoutMs) {
  return StartProcess(executable, arguments, environment, workingDirectory).Wait(timeoutMs);
}

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  wchar_t base[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, base);
  std::wstring root(base, length);
  if (!root.empty() && root.back() == L'\\') root.pop_back();
  // A process whose TEMP points at a folder not made yet still gets one.
  ::CreateDirectoryW(root.c_str(), nullptr);
  for (;;) {
    path_ = root + L"\\kilna-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter.fetch_add(1)) + L"-" + std::to_wstring(::GetTickCount64());
    if (::CreateDirectoryW(path_.c_str(), nullptr)) break;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create a temporary folder");
  }
}

namespace {

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(path.c_str());
}

}  // namespace

TempFolder::~TempFolder() { RemoveTree(path_); }

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char chunk[65536];
  DWORD read = 0;
  while (::ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
  ::CloseHandle(file);
  return bytes;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == bytes.size();
}

bool CopyBinary(const std::wstring& name, const std::wstring& toFolder) {
  return ::CopyFileW((BinaryFolder() + L"\\" + name).c_str(), (toFolder + L"\\" + name).c_str(), FALSE) != FALSE;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace orv::test
