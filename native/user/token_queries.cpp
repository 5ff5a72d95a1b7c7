#include "native/user/token_queries.h"

#include <vector>

#include "native/common/unique_resource.h"

namespace orv {
namespace {

// A token user larger than this is not a SID we can trust.
constexpr DWORD kMaxTokenUserBytes = 65536;

}  // namespace

bool IsProcessElevated(const UserContextPlatform& platform) {
  UniqueHandle token;
  if (!platform.OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!platform.GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) return false;
  return elevation.TokenIsElevated != 0;
}

std::wstring TokenSidString(HANDLE token, const UserContextPlatform& platform) {
  DWORD size = 0;
  platform.GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size == 0 || size > kMaxTokenUserBytes) return {};
  // DWORD-aligned storage: the buffer holds a TOKEN_USER with a pointer inside.
  std::vector<ULONGLONG> buffer((size + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG));
  if (!platform.GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  UniqueLocal<wchar_t*> text;
  if (!platform.ConvertSidToStringSidW(user->User.Sid, text.put()) || !text) return {};
  return text.get();
}

std::wstring ProcessUserSid(const UserContextPlatform& platform) {
  UniqueHandle token;
  if (!platform.OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
  return TokenSidString(token.get(), platform);
}

std::wstring KnownFolderPath(REFKNOWNFOLDERID folder, HANDLE token, const UserContextPlatform& platform) {
  UniqueCoTaskMem<wchar_t*> path;
  if (FAILED(platform.SHGetKnownFolderPath(folder, KF_FLAG_DONT_VERIFY, token, path.put())) || !path) return {};
  return path.get();
}

}  // namespace orv
