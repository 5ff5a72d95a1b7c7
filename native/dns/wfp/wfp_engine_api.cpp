#include "native/dns/wfp/wfp_engine_api.h"

#include "native/common/system_library.h"

namespace orv::dns {

const WfpEngineApi& WfpEngineApi::System() noexcept {
  static const WfpEngineApi real = [] {
    const SystemLibrary& client = KeptSystemLibrary<system_dll::kFwpuclnt>();
    constexpr DWORD kMissing = ERROR_PROC_NOT_FOUND;
    WfpEngineApi api;
    api.FwpmEngineOpen0 = client.FindOr<decltype(api.FwpmEngineOpen0), kMissing>("FwpmEngineOpen0");
    api.FwpmEngineClose0 = client.FindOr<decltype(api.FwpmEngineClose0), kMissing>("FwpmEngineClose0");
    api.FwpmFreeMemory0 = client.FindOr<decltype(api.FwpmFreeMemory0), 0>("FwpmFreeMemory0");
    api.FwpmEngineGetOption0 = client.FindOr<decltype(api.FwpmEngineGetOption0), kMissing>("FwpmEngineGetOption0");
    api.FwpmFilterGetById0 = client.FindOr<decltype(api.FwpmFilterGetById0), kMissing>("FwpmFilterGetById0");
    api.FwpmProviderGetByKey0 = client.FindOr<decltype(api.FwpmProviderGetByKey0), kMissing>("FwpmProviderGetByKey0");
    api.FwpmSubLayerGetByKey0 = client.FindOr<decltype(api.FwpmSubLayerGetByKey0), kMissing>("FwpmSubLayerGetByKey0");
    api.FwpmNetEventSubscribe1 = client.Find<FwpmNetEventSubscribe1Fn>("FwpmNetEventSubscribe1");
    api.FwpmNetEventUnsubscribe0 = client.Find<FwpmNetEventUnsubscribe0Fn>("FwpmNetEventUnsubscribe0");
    api.FwpmFilterCreateEnumHandle0 =
        client.FindOr<decltype(api.FwpmFilterCreateEnumHandle0), kMissing>("FwpmFilterCreateEnumHandle0");
    api.FwpmFilterEnum0 = client.FindOr<decltype(api.FwpmFilterEnum0), kMissing>("FwpmFilterEnum0");
    api.FwpmFilterDestroyEnumHandle0 =
        client.FindOr<decltype(api.FwpmFilterDestroyEnumHandle0), kMissing>("FwpmFilterDestroyEnumHandle0");
    api.FwpmFilterGetByKey0 = client.FindOr<decltype(api.FwpmFilterGetByKey0), kMissing>("FwpmFilterGetByKey0");
    api.FwpmGetAppIdFromFileName0 =
        client.FindOr<decltype(api.FwpmGetAppIdFromFileName0), kMissing>("FwpmGetAppIdFromFileName0");
    return api;
  }();
  return real;
}

}  // namespace orv::dns
