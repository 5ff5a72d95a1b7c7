#include "native/proxy/options_api.h"

namespace orv::proxy {

const PerConnectionOptionsApi& WinInetOptionsApi() {
  static const PerConnectionOptionsApi api{::InternetQueryOptionW, ::InternetSetOptionW};
  return api;
}

ProxyPlatform& CurrentProxyPlatform() {
  static auto* platform = new ProxyPlatform();  // kept until exit
  return *platform;
}

}  // namespace orv::proxy
