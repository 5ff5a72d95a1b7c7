#include "native/proxy/options_api.h"

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

bool ProcessStillRunning(const JournalOwner& owner) {
  const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, owner.processId));
  // A process we may not look at is taken as running: its entry stays ours.
  if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED;
  return CreationTime(process.get()) == owner.createdAt && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

ProxyPlatform& CurrentProxyPlatform() {
  static auto* platform = new ProxyPlatform();  // kept until exit
  return *platform;
}

}  // namespace orv::proxy
