// Stand-in for the maker's logging library: appends log bytes to files and
// keeps the file-logging policy the interface sets.
//
// For tests (read by this stand-in only): ORV_CRYPTO_STANDIN_CALLS names a file
// that gets one line per policy call ("set ENABLED EXPIRES_AT"), and
// ORV_CRYPTO_STANDIN_REFUSE_ONCE=1 makes the first files-allowed answer 0.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

std::atomic<int> g_enabled{1};
std::atomic<std::int64_t> g_expiresAt{0};
std::atomic<bool> g_refusalUsed{false};

bool StandInFlag(const wchar_t* name) {
  wchar_t value[8] = {};
  return ::GetEnvironmentVariableW(name, value, 8) == 1 && value[0] == L'1';
}

void RecordPolicyCall(int enabled, std::int64_t expiresAt) {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(L"ORV_CRYPTO_STANDIN_CALLS", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char line[64];
  const int n = std::snprintf(line, sizeof line, "set %d %lld\n", enabled, static_cast<long long>(expiresAt));
  DWORD written = 0;
  if (n > 0) ::WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
  ::CloseHandle(file);
}

bool Widen(const char* utf8, std::wstring& out) {
  const int needed = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (needed <= 0) return false;
  out.resize(static_cast<size_t>(needed));
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, out.data(), needed) != needed) return false;
  out.resize(static_cast<size_t>(needed - 1));
  return true;
}

}  // namespace

extern "C" {

__declspec(dllexport) int __cdecl orv_log_append_utf8(const char* path, const char* bytes, std::uint64_t length,
                                                      std::uint64_t /*maxFileBytes*/, std::uint32_t /*flags*/) {
  if (path == nullptr || (bytes == nullptr && length != 0) || length > MAXDWORD) return ERROR_INVALID_PARAMETER;
  std::wstring widePath;
  try {
    if (!Widen(path, widePath)) return ERROR_NO_UNICODE_TRANSLATION;
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  HANDLE file = ::CreateFileW(widePath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return static_cast<int>(::GetLastError());
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr);
  const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
  ::CloseHandle(file);
  return static_cast<int>(error);
}

__declspec(dllexport) void __cdecl orv_log_set_policy(int enabled, std::int64_t expiresAt) {
  RecordPolicyCall(enabled, expiresAt);
  g_enabled.store(enabled != 0 ? 1 : 0);
  g_expiresAt.store(expiresAt);
}

__declspec(dllexport) int __cdecl orv_log_files_allowed() {
  if (StandInFlag(L"ORV_CRYPTO_STANDIN_REFUSE_ONCE") && !g_refusalUsed.exchange(true)) return 0;
  if (g_enabled.load() == 0) return 0;
  const std::int64_t expiresAt = g_expiresAt.load();
  return expiresAt == 0 || expiresAt > static_cast<std::int64_t>(std::time(nullptr)) ? 1 : 0;
}

}  // extern "C"
