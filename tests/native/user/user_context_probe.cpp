// Test program: one capture of the interactive user context in a fresh
// process, with at most one platform fault, or one user scope whose revert
// fails. Usage: user_context_probe REPORT MODE [ARG]
//   capture [FAULT]   capture, then write what the process holds to REPORT
//   hkcu MARKER       capture, read HKCU\Software\KilnaUserProbe "Seed", write
//                     MARKER there as "Written" and at the hive root
//   no-capture        what a process that never captured sees
//   act-as-user       capture, then whose token the thread holds inside a
//                     scope of the captured user and after it
//   revert-fails | restore-fails   a scope whose undo fails (never returns)
// Exit code: the capture's last error (0 on success), 99 for a bad call.

#include <windows.h>

#include <knownfolders.h>

#include <map>
#include <string>

#include "native/common/unique_resource.h"
#include "native/user/user_context.h"
#include "kilna/kilna_exports.h"
#include "native/user/user_scope.h"
#include "tests/support/process.h"

namespace {

using orv::UserContextPlatform;
using orv::test::Narrow;

const UserContextPlatform kReal{};
UserContextPlatform g_inner;  // the real table with the fault applied
std::string g_calls;          // the logged calls, in order

const KNOWNFOLDERID* g_missingFolder = nullptr;
const wchar_t* g_profile = nullptr;

void Log(const std::string& call) {
  if (!g_calls.empty()) g_calls.push_back(',');
  g_calls += call;
}

const char* FolderName(REFKNOWNFOLDERID id) {
  static const std::pair<const KNOWNFOLDERID*, const char*> kNames[] = {
      {&FOLDERID_Profile, "Profile"},     {&FOLDERID_RoamingAppData, "Roaming"}, {&FOLDERID_LocalAppData, "Local"},
      {&FOLDERID_ProgramData, "ProgramData"}, {&FOLDERID_Desktop, "Desktop"},    {&FOLDERID_Programs, "Programs"},
      {&FOLDERID_StartMenu, "StartMenu"}, {&FOLDERID_Documents, "Documents"},    {&FOLDERID_Downloads, "Downloads"}};
  for (const auto& [folder, name] : kNames) {
    if (::IsEqualGUID(id, *folder)) return name;
  }
  return "Other";
}

HRESULT WINAPI FakeKnownFolder(REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path) {
  if (g_missingFolder != nullptr && ::IsEqualGUID(id, *g_missingFolder)) {
    *path = nullptr;
    return E_FAIL;
  }
  if (g_profile != nullptr && ::IsEqualGUID(id, FOLDERID_Profile)) {
    const size_t bytes = (wcslen(g_profile) + 1) * sizeof(wchar_t);
    *path = static_cast<PWSTR>(::CoTaskMemAlloc(bytes));
    memcpy(*path, g_profile, bytes);
    return S_OK;
  }
  return kReal.SHGetKnownFolderPath(id, flags, token, path);
}

enum class TokenFault { None, NotElevated, ElevationUnreadable, SidUnreadable, SidOversized };
TokenFault g_tokenFault = TokenFault::None;

BOOL WINAPI FakeTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID info, DWORD size,
                                 PDWORD returned) {
  if ((g_tokenFault == TokenFault::ElevationUnreadable && kind == TokenElevation) ||
      (g_tokenFault == TokenFault::SidUnreadable && kind == TokenUser)) {
    *returned = 0;
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const BOOL ok = kReal.GetTokenInformation(token, kind, info, size, returned);
  if (ok && kind == TokenElevation && g_tokenFault == TokenFault::NotElevated) {
    static_cast<TOKEN_ELEVATION*>(info)->TokenIsElevated = 0;
  }
  if (kind == TokenUser && info == nullptr && g_tokenFault == TokenFault::SidOversized) *returned = 65537;
  return ok;
}

bool IsOurProcess(HANDLE process) {
  return process == ::GetCurrentProcess() || ::GetProcessId(process) == ::GetCurrentProcessId();
}

// Applies one named fault to `table`; false for an unknown name.
bool ApplyFault(const std::wstring& fault, UserContextPlatform& table) {
  static const std::map<std::wstring, const KNOWNFOLDERID*> kMissing = {
      {L"no-profile", &FOLDERID_Profile},     {L"no-roaming", &FOLDERID_RoamingAppData},
      {L"no-local", &FOLDERID_LocalAppData},  {L"no-programdata", &FOLDERID_ProgramData},
      {L"no-desktop", &FOLDERID_Desktop},     {L"no-programs", &FOLDERID_Programs},
      {L"no-startmenu", &FOLDERID_StartMenu}, {L"no-documents", &FOLDERID_Documents},
      {L"no-downloads", &FOLDERID_Downloads}};
  static const std::map<std::wstring, TokenFault> kTokenFaults = {
      {L"not-elevated", TokenFault::NotElevated},
      {L"elevation-unreadable", TokenFault::ElevationUnreadable},
      {L"sid-unreadable", TokenFault::SidUnreadable},
      {L"sid-oversized", TokenFault::SidOversized}};
  if (fault.empty()) return true;
  if (const auto found = kTokenFaults.find(fault); found != kTokenFaults.end()) {
    g_tokenFault = found->second;
    table.GetTokenInformation = FakeTokenInformation;
  } else if (const auto found = kMissing.find(fault); found != kMissing.end()) {
    g_missingFolder = found->second;
    table.SHGetKnownFolderPath = FakeKnownFolder;
  } else if (fault == L"cjk-profile") {
    g_profile = L"C:\\users\\\u5f20\u4e09";
    table.SHGetKnownFolderPath = FakeKnownFolder;
  } else if (fault == L"quote-profile") {
    g_profile = L"C:\\users\\a\"b\\c\td";
    table.SHGetKnownFolderPath = FakeKnownFolder;
  } else if (fault == L"no-shell") {
    table.GetShellWindow = []() -> HWND { return nullptr; };
  } else if (fault == L"shell-pid-fails") {
    table.GetWindowThreadProcessId = [](HWND, LPDWORD) -> DWORD { return 0; };
  } else if (fault == L"session-fails") {
    table.ProcessIdToSessionId = [](DWORD, DWORD*) -> BOOL {
      ::SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    };
  } else if (fault == L"other-session") {
    table.ProcessIdToSessionId = [](DWORD processId, DWORD* session) -> BOOL {
      *session = processId == ::GetCurrentProcessId() ? 1 : 2;
      return TRUE;
    };
  } else if (fault == L"open-process-fails") {
    table.OpenProcess = [](DWORD, BOOL, DWORD) -> HANDLE {
      ::SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    };
  } else if (fault == L"open-token-fails") {
    table.OpenProcessToken = [](HANDLE process, DWORD access, PHANDLE token) -> BOOL {
      if (IsOurProcess(process)) return kReal.OpenProcessToken(process, access, token);
      ::SetLastError(ERROR_PRIVILEGE_NOT_HELD);
      return FALSE;
    };
  } else if (fault == L"sid-unconvertible") {
    table.ConvertSidToStringSidW = [](PSID, LPWSTR* text) -> BOOL {
      *text = nullptr;
      ::SetLastError(ERROR_INVALID_SID);
      return FALSE;
    };
  } else if (fault == L"no-windows-dir") {
    table.GetWindowsDirectoryW = [](LPWSTR, UINT) -> UINT { return 0; };
  } else if (fault == L"windows-dir-too-long") {
    table.GetWindowsDirectoryW = [](LPWSTR, UINT capacity) -> UINT { return capacity; };
  } else if (fault == L"hive-open-fails") {
    table.RegOpenKeyExW = [](HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) -> LSTATUS { return ERROR_FILE_NOT_FOUND; };
  } else if (fault == L"override-fails") {
    table.RegOverridePredefKey = [](HKEY, HKEY) -> LSTATUS { return ERROR_INVALID_HANDLE; };
  } else {
    return false;
  }
  return true;
}

// The faulted table behind a few logged calls, so a report shows how far the
// capture went.
UserContextPlatform LoggedPlatform() {
  UserContextPlatform logged = g_inner;
  logged.GetShellWindow = []() -> HWND {
    Log("GetShellWindow");
    return g_inner.GetShellWindow();
  };
  logged.OpenProcess = [](DWORD access, BOOL inherit, DWORD processId) -> HANDLE {
    Log("OpenProcess");
    return g_inner.OpenProcess(access, inherit, processId);
  };
  logged.SHGetKnownFolderPath = [](REFKNOWNFOLDERID id, DWORD flags, HANDLE token, PWSTR* path) -> HRESULT {
    Log(std::string("Folder:") + FolderName(id) + (token == nullptr ? "/none" : "/user"));
    return g_inner.SHGetKnownFolderPath(id, flags, token, path);
  };
  logged.RegOpenKeyExW = [](HKEY key, LPCWSTR name, DWORD options, REGSAM access, PHKEY out) -> LSTATUS {
    Log("RegOpenKeyExW");
    return g_inner.RegOpenKeyExW(key, name, options, access, out);
  };
  logged.RegOverridePredefKey = [](HKEY key, HKEY with) -> LSTATUS {
    Log("RegOverridePredefKey");
    return g_inner.RegOverridePredefKey(key, with);
  };
  logged.SetEnvironmentVariableW = [](LPCWSTR name, LPCWSTR value) -> BOOL {
    Log("Env:" + Narrow(name));
    return g_inner.SetEnvironmentVariableW(name, value);
  };
  return logged;
}

std::wstring Environment(const wchar_t* name) {
  wchar_t buffer[32768];
  const DWORD length = ::GetEnvironmentVariableW(name, buffer, 32768);
  return length == 0 || length >= 32768 ? std::wstring() : std::wstring(buffer, length);
}

std::string Report(bool captured, DWORD error) {
  std::string report = "result=" + std::to_string(captured ? 1 : 0) + "\nerror=" + std::to_string(error);
  const char* text = OrvGetUserContext();
  report += "\ntoken=" + std::to_string(OrvGetInteractiveUserToken() != nullptr ? 1 : 0);
  report += "\nhive=" + std::to_string(orv::UserHiveKey() != nullptr ? 1 : 0);
  report += "\nhasContext=" + std::to_string(text != nullptr ? 1 : 0);
  report += "\ncontext=" + std::string(text != nullptr ? text : "");
  report += "\nprogramData=" + Narrow(orv::ProgramDataPath());
  for (const wchar_t* name : {L"USERPROFILE", L"APPDATA", L"LOCALAPPDATA", L"TEMP", L"TMP"}) {
    report += "\nenv." + Narrow(name) + "=" + Narrow(Environment(name));
  }
  report += "\ncalls=" + g_calls;
  if (captured) {
    // A later capture changes nothing and the text stays where it was.
    const bool again = orv::CaptureUserContext(true);
    report += "\nsecondCapture=" + std::to_string(again ? 1 : 0);
    report += "\nsamePointer=" +
              std::to_string(text == OrvGetUserContext() && OrvGetUserContext() == OrvGetUserContext() ? 1 : 0);
  }
  return report + "\n";
}

std::wstring ReadHkcuSeed() {
  wchar_t value[256] = {};
  DWORD bytes = sizeof value - sizeof(wchar_t);
  if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\KilnaUserProbe", L"Seed", RRF_RT_REG_SZ, nullptr, value,
                     &bytes) != ERROR_SUCCESS) {
    return L"<missing>";
  }
  return value;
}

LSTATUS WriteHkcu(const std::wstring& marker) {
  const auto bytes = static_cast<DWORD>((marker.size() + 1) * sizeof(wchar_t));
  const auto* data = reinterpret_cast<const BYTE*>(marker.c_str());
  // At the root itself: needs the hive key's own set-value right.
  if (const LSTATUS status = ::RegSetValueExW(HKEY_CURRENT_USER, L"KilnaUserProbe", 0, REG_SZ, data, bytes);
      status != ERROR_SUCCESS) {
    return status;
  }
  orv::UniqueRegKey key;
  if (const LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KilnaUserProbe", 0, nullptr, 0,
                                               KEY_SET_VALUE, nullptr, key.put(), nullptr);
      status != ERROR_SUCCESS) {
    return status;
  }
  return ::RegSetValueExW(key.get(), L"Written", 0, REG_SZ, data, bytes);
}

std::string TokenSid(HANDLE token) {
  BYTE buffer[512];
  DWORD size = 0;
  if (!::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) return {};
  orv::UniqueLocal<wchar_t*> text;
  if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, text.put())) return {};
  return Narrow(text.get());
}

std::string ThreadTokenSid() {
  orv::UniqueHandle token;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) return "none";
  return TokenSid(token.get());
}

// A scope on a duplicate of our own token whose undo is made to fail.
int FailingUndo(bool withSavedToken) {
  orv::UniqueHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY, token.put())) {
    return 98;
  }
  if (withSavedToken && !::ImpersonateSelf(SecurityImpersonation)) return 97;
  orv::UserScopePlatform platform;
  platform.RevertToSelf = []() -> BOOL { return FALSE; };
  platform.SetThreadToken = [](PHANDLE, HANDLE) -> BOOL { return FALSE; };
  {
    orv::UserScope scope(token.get(), platform);
    if (!scope.impersonating()) return 96;
  }
  return 0;  // the process should have ended inside the scope's exit
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 99;
  const std::wstring reportPath = argv[1];
  const std::wstring mode = argv[2];
  const std::wstring arg = argc > 3 ? argv[3] : L"";
  if (mode == L"capture") {
    g_inner = kReal;
    if (!ApplyFault(arg, g_inner)) return 99;
    const bool captured = orv::CaptureUserContext(true, LoggedPlatform());
    const DWORD error = captured ? 0 : ::GetLastError();
    orv::test::WriteWholeFile(reportPath, Report(captured, error));
    return static_cast<int>(error);
  }
  if (mode == L"hkcu") {
    if (!orv::CaptureUserContext(true)) return static_cast<int>(::GetLastError());
    const std::string report = "seed=" + Narrow(ReadHkcuSeed()) + "\nwrite=" + std::to_string(WriteHkcu(arg)) +
                               "\ncontext=" + OrvGetUserContext() + "\n";
    orv::test::WriteWholeFile(reportPath, report);
    return 0;
  }
  if (mode == L"no-capture") {
    bool ran = false;
    const DWORD result = orv::ActAsInteractiveUser([&] {
      ran = true;
      return DWORD{0};
    });
    orv::UniqueHandle threadToken;
    const bool threadHasToken = ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, threadToken.put());
    const std::string report = "result=" + std::to_string(result) + "\nran=" + std::to_string(ran ? 1 : 0) +
                               "\nthreadToken=" + std::to_string(threadHasToken ? 1 : 0) + "\ntoken=" +
                               std::to_string(OrvGetInteractiveUserToken() != nullptr ? 1 : 0) + "\nhasContext=" +
                               std::to_string(OrvGetUserContext() != nullptr ? 1 : 0) + "\n";
    orv::test::WriteWholeFile(reportPath, report);
    return 0;
  }
  if (mode == L"act-as-user") {
    if (!orv::CaptureUserContext(true)) return static_cast<int>(::GetLastError());
    std::string inside;
    const DWORD result = orv::ActAsInteractiveUser([&] {
      inside = ThreadTokenSid();
      return DWORD{0};
    });
    const std::string report = "result=" + std::to_string(result) + "\ninside=" + inside +
                               "\nuser=" + TokenSid(OrvGetInteractiveUserToken()) + "\nafter=" + ThreadTokenSid() +
                               "\n";
    orv::test::WriteWholeFile(reportPath, report);
    return 0;
  }
  if (mode == L"revert-fails") return FailingUndo(false);
  if (mode == L"restore-fails") return FailingUndo(true);
  return 99;
}
