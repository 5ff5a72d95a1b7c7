#include "native/proxy/proxy_state.h"

namespace orv::proxy {

std::mutex& ProxyMutex() {
  static auto* mutex = new std::mutex();  // kept until exit
  return *mutex;
}

ProxyState& GuardedProxyState() {
  static auto* state = new ProxyState();  // kept until exit
  return *state;
}

}  // namespace orv::proxy
