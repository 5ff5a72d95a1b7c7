#include "native/proxy/options_api.h"

#include <tlhelp32.h>

#include <string>

#include "native/common/environment.h"
#include "native/common/proc_address.h"
#include "native/common/system_library.h"
#include "native/common/unique_resource.h"

namespace orv::proxy {
namespace {

template <DWORD Error>
BOOL WINAPI RefuseQuery(HINTERNET, DWORD, LPVOID, LPDWORD) {
  ::SetLastError(Error);
  return FALSE;
}

template <DWORD Error>
BOOL WINAPI RefuseSet(HINTERNET, DWORD, LPVOID, DWORD) {
  ::SetLastError(Error);
  return FALSE;
}

template <DWORD Error>
constexpr PerConnectionOptionsApi kRefused{RefuseQuery<Error>, RefuseSet<Error>};

struct LoadedWinInet {
  UniqueModule module;
  PerConnectionOptionsApi api;
};

}  // namespace

PerConnectionOptionsApi ResolveOptionsApi(HMODULE wininet) noexcept {
  if (wininet == nullptr) return kRefused<ERROR_MOD_NOT_FOUND>;
  const PerConnectionOptionsApi api{
      ResolveProc<decltype(PerConnectionOptionsApi::queryOption)>(wininet, "InternetQueryOptionW"),
      ResolveProc<decltype(PerConnectionOptionsApi::setOption)>(wininet, "InternetSetOptionW")};
  if (api.queryOption == nullptr || api.setOption == nullptr) return kRefused<ERROR_PROC_NOT_FOUND>;
  return api;
}

const PerConnectionOptionsApi& WinInetOptionsApi() {
  static const LoadedWinInet* const wininet = [] {
    auto* loaded = new LoadedWinInet{};  // kept until exit
    loaded->module.reset(LoadSystemLibrary(system_dll::kWininet));
    loaded->api = ResolveOptionsApi(loaded->module.get());
    return loaded;
  }();
  return wininet->api;
}

namespace {

std::uint64_t CreationTime(HANDLE process) {
  FILETIME created = {};
  FILETIME exited = {};
  FILETIME kernel = {};
  FILETIME user = {};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

JournalOwner CurrentProcessOwner() {
  return JournalOwner{::GetCurrentProcessId(), CreationTime(::GetCurrentProcess())};
}

namespace {

constexpr std::size_t kImagePathCapacity = 32768;

std::wstring FileName(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Whether the process with this id runs an image of this program's name: the
// one thing the system tells about a process nobody may open.
bool RunsThisProgram(DWORD processId) {
  const std::wstring mine = FileName(ExecutablePath(kImagePathCapacity));
  if (mine.empty()) return false;
  const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == processId) return ::_wcsicmp(entry.szExeFile, mine.c_str()) == 0;
  }
  return false;
}

}  // namespace

bool ProcessStillRunning(const JournalOwner& owner) {
  const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, owner.processId));
  if (!process) {
    // A process we may not open (a service, another user's) has an id that
    // may have been reused since: it is the owner only while it runs this
    // program, or its entry would keep the loopback for good.
    return ::GetLastError() == ERROR_ACCESS_DENIED && RunsThisProgram(owner.processId);
  }
  return CreationTime(process.get()) == owner.createdAt && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

ProxyPlatform& CurrentProxyPlatform() {
  static auto* platform = new ProxyPlatform();  // kept until exit
  return *platform;
}

}  // namespace orv::proxy
