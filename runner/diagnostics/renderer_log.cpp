#include "runner/diagnostics/renderer_log.h"

#include <windows.h>

#include <cstdint>
#include <mutex>

#include "native/common/environment.h"
#include "native/common/proc_address.h"
#include "native/common/text_conversion.h"
#include "runner/diagnostics/diagnostics_paths.h"

namespace orv {
namespace {

using AppendUtf8Fn = int(__cdecl*)(const char* path, const char* bytes, std::uint64_t length,
                                   std::uint64_t maxFileBytes, std::uint32_t flags);

constexpr size_t kModulePathCapacity = 32768;
constexpr std::uint64_t kMaxLogFileBytes = 262144;
constexpr DWORD kLoadBesideExecutable = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

std::mutex& WriterMutex() {
  static auto* mutex = new std::mutex();  // kept until exit
  return *mutex;
}

AppendUtf8Fn ResolveAppender() {
  const std::wstring executable = ExecutablePath(kModulePathCapacity);
  if (executable.empty()) return nullptr;
  std::wstring library(ModuleFolder(executable));
  library.append(L"\\orv_crypto.dll");
  // The library stays loaded for the life of the process.
  HMODULE module = ::LoadLibraryExW(library.c_str(), nullptr, kLoadBesideExecutable);
  return ResolveProc<AppendUtf8Fn>(module, "orv_log_append_utf8");
}

AppendUtf8Fn Appender() {
  static const AppendUtf8Fn appender = ResolveAppender();
  return appender;
}

std::wstring LogDirectory() {
  std::wstring directory = ReadEnvironmentText(L"ORV_DIAGNOSTICS_DIR");
  if (!directory.empty()) return directory;
  const std::wstring executable = ExecutablePath(kModulePathCapacity);
  std::wstring_view folder;
  if (executable.empty() || !TextBeforeLastSeparator(executable, folder)) return {};
  directory.assign(folder);
  directory.append(L"\\logs");
  return directory;
}

}  // namespace

void WriteRendererLogLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(WriterMutex());
  const std::wstring directory = LogDirectory();
  if (directory.empty()) return;
  ::CreateDirectoryW(directory.c_str(), nullptr);
  const AppendUtf8Fn append = Appender();
  if (append == nullptr) return;
  std::string path;
  if (!Utf16ToUtf8Strict(JoinLogFilePath(directory, kRendererLogFileName), path)) return;
  append(path.c_str(), line.c_str(), line.size(), kMaxLogFileBytes, 0);
}

}  // namespace orv
