#pragma once
// The proxy document the interface reads: whether a manual proxy and an
// auto-config URL are on, with their texts (compact UTF-8).

#include <string>

#include "native/proxy/proxy_values.h"

namespace orv::proxy {

std::string ProxyJson(const ProxyOptions& options);

}  // namespace orv::proxy
