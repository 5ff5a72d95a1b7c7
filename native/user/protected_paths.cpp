#include "native/user/protected_paths.h"

namespace orv {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsNameCharacter(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'-' || c == L'_';
}

std::wstring_view TrimTrailingSeparators(std::wstring_view path) {
  while (!path.empty() && IsSeparator(path.back())) path.remove_suffix(1);
  return path;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// "C:" alone names the current directory on that drive, not its root.
bool IsBareDrive(std::wstring_view path) { return path.size() == 2 && IsDriveLetter(path[0]) && path[1] == L':'; }

// \\server\share with nothing after it: the top of a UNC path.
bool IsShareRoot(std::wstring_view path) {
  if (path.size() < 3 || !IsSeparator(path[0]) || !IsSeparator(path[1]) || IsSeparator(path[2])) return false;
  path.remove_prefix(2);
  const std::size_t server = path.find_first_of(L"\\/");
  if (server == std::wstring_view::npos) return false;
  std::wstring_view share = path.substr(server);
  while (!share.empty() && IsSeparator(share.front())) share.remove_prefix(1);
  return !share.empty() && share.find_first_of(L"\\/") == std::wstring_view::npos;
}

}  // namespace

bool IsValidProtectedName(std::wstring_view name) {
  if (name.empty() || name.size() > kMaxProtectedNameLength) return false;
  for (const wchar_t c : name) {
    if (!IsNameCharacter(c)) return false;
  }
  return true;
}

bool IsAbsolutePath(std::wstring_view path) {
  if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) {
    return true;
  }
  return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

std::wstring ParentPath(std::wstring_view path) {
  path = TrimTrailingSeparators(path);
  while (!path.empty() && !IsSeparator(path.back())) path.remove_suffix(1);
  return std::wstring(TrimTrailingSeparators(path));
}

std::vector<std::wstring> PathChain(std::wstring_view path) {
  std::vector<std::wstring> chain;
  std::wstring step(TrimTrailingSeparators(path));
  if (step.empty()) step = path;  // a bare root such as "\\"
  while (!step.empty()) {
    if (IsBareDrive(step)) {
      chain.push_back(step + L'\\');
      break;
    }
    chain.push_back(step);
    if (IsShareRoot(step)) break;
    step = ParentPath(step);
  }
  return chain;
}

}  // namespace orv
