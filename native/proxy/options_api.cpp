#include "native/proxy/options_api.h"

#include "native/common/unique_resource.h"

namespace orv::proxy {

const PerConnectionOptionsApi& WinInetOptionsApi() {
  static const PerConnectionOptionsApi api{::InternetQueryOptionW, ::InternetSetOptionW};
  return api;
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
