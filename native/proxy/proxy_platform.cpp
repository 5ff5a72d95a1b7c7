#include "native/proxy/proxy_platform.h"

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

ProxyPlatform& CurrentProxyPlatform() {
  static auto* platform = new ProxyPlatform();  // kept until exit
  return *platform;
}

}  // namespace orv::proxy
