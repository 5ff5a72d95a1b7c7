#include "tests/native/user/launch_support.h"

#include "native/common/unique_resource.h"
#include "tests/support/process.h"

namespace orv::test {

std::wstring LaunchTargetPath() { return BinaryFolder() + L"\\launch_target.exe"; }

LaunchedProgram::~LaunchedProgram() {
  const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId_));
  if (!process || ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return;
  ::TerminateProcess(process.get(), 0xDEAD);
  ::WaitForSingleObject(process.get(), 5000);
}

bool LaunchedProgram::running() const {
  const UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId_));
  return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

LaunchPlatformOverride::LaunchPlatformOverride(const LaunchPlatform& replacement) : saved_(CurrentLaunchPlatform()) {
  CurrentLaunchPlatform() = replacement;
}

LaunchPlatformOverride::~LaunchPlatformOverride() { CurrentLaunchPlatform() = saved_; }

std::wstring ImagePathOf(DWORD processId) {
  const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return {};
  std::wstring path(32768, L'\0');
  DWORD length = static_cast<DWORD>(path.size());
  if (!::QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) return {};
  path.resize(length);
  return path;
}

namespace {

struct Search {
  DWORD processId;
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  if (owner != search->processId || !::IsWindowVisible(window) || std::wstring(name) != search->className) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND WaitForWindowOf(DWORD processId, const wchar_t* className, DWORD timeoutMs) {
  const ULONGLONG until = ::GetTickCount64() + timeoutMs;
  for (;;) {
    Search search{processId, className, nullptr};
    ::EnumWindows(&Match, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr || ::GetTickCount64() >= until) return search.found;
    ::Sleep(20);
  }
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  auto trimmed = [](std::wstring s) {
    while (s.size() > 3 && s.back() == L'\\') s.pop_back();
    return s;
  };
  return ::CompareStringOrdinal(trimmed(a).c_str(), -1, trimmed(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace orv::test
