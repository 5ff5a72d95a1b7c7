#include "native/proxy/journal_owner.h"

#include <windows.h>
#include <wtsapi32.h>

#include <string>

#include "native/common/environment.h"
#include "native/common/system_library.h"
#include "native/common/unique_resource.h"
#include "native/user/token_queries.h"
#include "native/user/user_context.h"

namespace orv::proxy {
namespace {

constexpr std::size_t kImagePathCapacity = 32768;

std::uint64_t CreationTime(HANDLE process) {
  FILETIME created = {};
  FILETIME exited = {};
  FILETIME kernel = {};
  FILETIME user = {};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

std::wstring FileName(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring SidString(PSID sid) {
  UniqueLocal<wchar_t*> text;
  if (sid == nullptr || !::ConvertSidToStringSidW(sid, text.put()) || !text) return {};
  return text.get();
}

// This program's users: the interactive user whose settings the journal
// keeps, and the process's own (who may run elevated as someone else).
bool IsThisProgramsUser(const std::wstring& sid) {
  if (sid.empty()) return false;
  if (const HANDLE user = InteractiveUserToken(); user != nullptr && TokenSidString(user) == sid) return true;
  return ProcessUserSid() == sid;
}

struct WtsApi {
  SystemLibrary library{system_dll::kWtsapi32};
  decltype(&::WTSEnumerateProcessesW) enumerate =
      library.FindOr<decltype(&::WTSEnumerateProcessesW), FALSE>("WTSEnumerateProcessesW");
  decltype(&::WTSFreeMemory) free = library.FindOr<decltype(&::WTSFreeMemory), 0>("WTSFreeMemory");
};

const WtsApi& Wts() {
  static const auto* api = new WtsApi();  // kept until exit
  return *api;
}

// Whether the process with this id is a kilna.exe of this program's user:
// what the system's process list tells about a process nobody may open.
bool ListedAsThisProgramOfThisUser(DWORD processId) {
  const std::wstring mine = FileName(ExecutablePath(kImagePathCapacity));
  if (mine.empty()) return false;
  WTS_PROCESS_INFOW* listed = nullptr;
  DWORD count = 0;
  if (!Wts().enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &listed, &count) || listed == nullptr) return false;
  bool ours = false;
  for (DWORD i = 0; i < count; ++i) {
    const WTS_PROCESS_INFOW& process = listed[i];
    if (process.ProcessId != processId) continue;
    ours = process.pProcessName != nullptr && ::_wcsicmp(FileName(process.pProcessName).c_str(), mine.c_str()) == 0 &&
           IsThisProgramsUser(SidString(process.pUserSid));
    break;
  }
  Wts().free(listed);
  return ours;
}

}  // namespace

JournalOwner CurrentProcessOwner() {
  return JournalOwner{::GetCurrentProcessId(), CreationTime(::GetCurrentProcess())};
}

bool ProcessStillRunning(const JournalOwner& owner) {
  UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, owner.processId));
  if (process) {
    return CreationTime(process.get()) == owner.createdAt && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
  }
  // Waiting may be refused where reading the times is not (a process of
  // higher integrity): the exit code then tells whether it runs.
  process.reset(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, owner.processId));
  if (process) {
    DWORD code = 0;
    return CreationTime(process.get()) == owner.createdAt && ::GetExitCodeProcess(process.get(), &code) &&
           code == STILL_ACTIVE;
  }
  const DWORD refused = ::GetLastError();
  return refused == ERROR_ACCESS_DENIED && ListedAsThisProgramOfThisUser(owner.processId);
}

}  // namespace orv::proxy
