#include "native/dns/wfp/wfp_engine_api.h"

#include "native/common/proc_address.h"

namespace orv {

namespace {

HMODULE FilteringPlatformClient() noexcept {
  // Already loaded: the other engine calls are imported from it.
  return ::GetModuleHandleW(L"fwpuclnt.dll");
}

}  // namespace

FwpmNetEventSubscribe1Fn ResolveFwpmNetEventSubscribe1() noexcept {
  static const auto fn = ResolveProc<FwpmNetEventSubscribe1Fn>(FilteringPlatformClient(), "FwpmNetEventSubscribe1");
  return fn;
}

FwpmNetEventUnsubscribe0Fn ResolveFwpmNetEventUnsubscribe0() noexcept {
  static const auto fn =
      ResolveProc<FwpmNetEventUnsubscribe0Fn>(FilteringPlatformClient(), "FwpmNetEventUnsubscribe0");
  return fn;
}

}  // namespace orv
