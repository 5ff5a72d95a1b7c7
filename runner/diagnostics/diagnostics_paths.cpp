#include "runner/diagnostics/diagnostics_paths.h"

namespace orv {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

bool IsAbsoluteWindowsPath(std::wstring_view path) {
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') {
    return path.size() >= 3 && IsSeparator(path[2]);
  }
  return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

bool StartupDiagnosticsRequested(std::wstring_view flag, std::wstring_view directory) {
  return flag == L"1" && !directory.empty() && IsAbsoluteWindowsPath(directory);
}

std::wstring JoinLogFilePath(std::wstring_view directory, std::wstring_view fileName) {
  std::wstring path(directory);
  const bool bareDrive = directory.size() == 2 && IsDriveLetter(directory[0]) && directory[1] == L':';
  if (!directory.empty() && !IsSeparator(directory.back()) && !bareDrive) path.push_back(L'\\');
  path.append(fileName);
  return path;
}

bool TextBeforeLastSeparator(std::wstring_view path, std::wstring_view& folder) {
  const size_t last = path.find_last_of(L"\\/");
  if (last == std::wstring_view::npos) return false;
  folder = path.substr(0, last);
  return true;
}

std::wstring_view ModuleFolder(std::wstring_view path) {
  size_t end = path.size();
  while (end > 0 && !IsSeparator(path[end - 1])) --end;
  while (end > 0 && IsSeparator(path[end - 1])) --end;
  return path.substr(0, end);
}

}  // namespace orv
