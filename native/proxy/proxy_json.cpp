#include "native/proxy/proxy_json.h"

#include "native/common/json_text.h"
#include "native/proxy/proxy_text.h"

namespace orv::proxy {

std::string ProxyJson(const ProxyOptions& options) {
  std::string json = "{\"proxyEnabled\":";
  AppendJsonBool(json, (options.flags & kProxyTypeProxy) != 0);
  json.append(",\"proxyServer\":");
  AppendJsonString(json, ToWide(options.proxyServer));
  json.append(",\"pacEnabled\":");
  AppendJsonBool(json, (options.flags & kProxyTypeAutoProxyUrl) != 0);
  json.append(",\"autoConfigUrl\":");
  AppendJsonString(json, ToWide(options.autoConfigUrl));
  json.append("}");
  return json;
}

}  // namespace orv::proxy
