#include "native/user/user_context.h"

#include <knownfolders.h>

#include <new>
#include <string>

#include "native/common/json_text.h"
#include "native/common/unique_resource.h"
#include "native/user/sdk_additions_errors.h"
#include "native/user/token_queries.h"

namespace orv {
namespace {

struct CapturedState {
  HANDLE token = nullptr;
  HKEY hive = nullptr;
  std::wstring programData;
  std::string text;
};

// Never destroyed: borrowed pointers into it stay valid until the process is
// gone, even while other threads run during exit.
CapturedState& State() noexcept {
  alignas(CapturedState) static unsigned char storage[sizeof(CapturedState)];
  static CapturedState* const state = new (storage) CapturedState();
  return *state;
}

constexpr DWORD kWindowsDirectoryCapacity = 32768;
constexpr DWORD kShellAccess = TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY;
constexpr REGSAM kHiveAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

bool Fail(DWORD code) {
  ::SetLastError(code);
  return false;
}

// Both session ids start equal: some platforms report success without writing.
bool ShellInOurSession(const UserContextPlatform& platform, DWORD& shellProcessId) {
  const HWND shell = platform.GetShellWindow();
  if (shell == nullptr) return false;
  shellProcessId = 0;
  if (platform.GetWindowThreadProcessId(shell, &shellProcessId) == 0 || shellProcessId == 0) return false;
  DWORD ourSession = 0;
  DWORD shellSession = 0;
  if (!platform.ProcessIdToSessionId(::GetCurrentProcessId(), &ourSession)) return false;
  if (!platform.ProcessIdToSessionId(shellProcessId, &shellSession)) return false;
  return ourSession == shellSession;
}

// Lets the process open a shell that runs with other rights; best effort.
void EnableDebugPrivilege(const UserContextPlatform& platform) {
  UniqueHandle token;
  if (!platform.OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!platform.LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) return;
  platform.AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof privileges, nullptr, nullptr);
}

// Zero when the token was opened; otherwise the failing call's last error.
[[nodiscard]] DWORD OpenShellToken(const UserContextPlatform& platform, DWORD shellProcessId, UniqueHandle& token) {
  UniqueHandle process(platform.OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellProcessId));
  if (!process) return ::GetLastError();
  if (!platform.OpenProcessToken(process.get(), kShellAccess, token.put())) return ::GetLastError();
  return ERROR_SUCCESS;
}

std::wstring WindowsDirectory(const UserContextPlatform& platform) {
  std::wstring buffer(kWindowsDirectoryCapacity, L'\0');
  const UINT length = platform.GetWindowsDirectoryW(buffer.data(), kWindowsDirectoryCapacity);
  if (length == 0 || length >= kWindowsDirectoryCapacity) return {};
  buffer.resize(length);
  return buffer;
}

void AppendField(std::string& json, const char* fragment, const std::wstring& value) {
  json.append(fragment);
  AppendJsonString(json, value);
}

struct NamedFolder {
  const char* fragment;
  const KNOWNFOLDERID* id;
};

constexpr NamedFolder kNamedFolders[] = {
    {",\"desktop\":", &FOLDERID_Desktop},     {",\"programs\":", &FOLDERID_Programs},
    {",\"startMenu\":", &FOLDERID_StartMenu}, {",\"documents\":", &FOLDERID_Documents},
    {",\"downloads\":", &FOLDERID_Downloads},
};

bool Capture(bool requireElevation, const UserContextPlatform& platform) {
  CapturedState& state = State();
  if (state.token != nullptr) return true;
  if (requireElevation && !IsProcessElevated(platform)) return Fail(ERROR_ELEVATION_REQUIRED);

  DWORD shellProcessId = 0;
  if (!ShellInOurSession(platform, shellProcessId)) return Fail(ERROR_NO_SUCH_LOGON_SESSION);
  EnableDebugPrivilege(platform);
  UniqueHandle token;
  if (const DWORD error = OpenShellToken(platform, shellProcessId, token); error != ERROR_SUCCESS) return Fail(error);

  const std::wstring sid = TokenSidString(token.get(), platform);
  const std::wstring profile = KnownFolderPath(FOLDERID_Profile, token.get(), platform);
  const std::wstring roaming = KnownFolderPath(FOLDERID_RoamingAppData, token.get(), platform);
  const std::wstring local = KnownFolderPath(FOLDERID_LocalAppData, token.get(), platform);
  state.programData = KnownFolderPath(FOLDERID_ProgramData, nullptr, platform);
  const std::wstring windows = WindowsDirectory(platform);
  if (sid.empty() || profile.empty() || roaming.empty() || local.empty() || state.programData.empty() ||
      windows.empty()) {
    return Fail(ERROR_BAD_PROFILE);
  }

  UniqueRegKey hive;
  if (const LSTATUS status = platform.RegOpenKeyExW(HKEY_USERS, sid.c_str(), 0, kHiveAccess, hive.put());
      status != ERROR_SUCCESS) {
    return Fail(static_cast<DWORD>(status));
  }
  if (platform.RegOverridePredefKey(HKEY_CURRENT_USER, hive.get()) != ERROR_SUCCESS) return Fail(ERROR_ACCESS_DENIED);
  state.token = token.release();
  state.hive = hive.release();

  const std::wstring temp = local + L"\\Temp";
  platform.SetEnvironmentVariableW(L"USERPROFILE", profile.c_str());
  platform.SetEnvironmentVariableW(L"APPDATA", roaming.c_str());
  platform.SetEnvironmentVariableW(L"LOCALAPPDATA", local.c_str());
  platform.SetEnvironmentVariableW(L"TEMP", temp.c_str());
  platform.SetEnvironmentVariableW(L"TMP", temp.c_str());
  const bool elevated = IsProcessElevated(platform);

  std::string json;
  AppendField(json, "{\"userSid\":", sid);
  AppendField(json, ",\"userProfile\":", profile);
  AppendField(json, ",\"roamingAppData\":", roaming);
  AppendField(json, ",\"localAppData\":", local);
  AppendField(json, ",\"tempDirectory\":", temp);
  AppendField(json, ",\"programData\":", state.programData);
  AppendField(json, ",\"windowsDirectory\":", windows);
  json.append(",\"isElevated\":");
  AppendJsonBool(json, elevated);
  for (const NamedFolder& folder : kNamedFolders) {
    const std::wstring path = KnownFolderPath(*folder.id, state.token, platform);
    if (path.empty()) return Fail(ERROR_BAD_PROFILE);
    AppendField(json, folder.fragment, path);
  }
  json.push_back('}');
  // Published whole: a capture that stops half-way leaves no partial document.
  state.text = std::move(json);
  return true;
}

}  // namespace

bool CaptureUserContext(bool requireElevation) { return CaptureUserContext(requireElevation, UserContextPlatform{}); }

bool CaptureUserContext(bool requireElevation, const UserContextPlatform& platform) {
  try {
    return Capture(requireElevation, platform);
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    return Fail(ERROR_INTERNAL_ERROR);
  }
}

HANDLE InteractiveUserToken() noexcept { return State().token; }

HKEY UserHiveKey() noexcept { return State().hive; }

const std::wstring& ProgramDataPath() noexcept { return State().programData; }

const char* UserContextText() noexcept {
  const std::string& text = State().text;
  return text.empty() ? nullptr : text.c_str();
}

}  // namespace orv
