#pragma once
// The filtering-platform calls of the drop-event collector, the filter
// description, the preflight and the presence check, as one table. Production
// code uses System(): fwpuclnt.dll loaded from the system folder, looked up
// once. Tests hand in a fake engine, since the platform's engine cannot be
// opened under a test machine's emulation.

#include "native/dns/wfp/sdk_additions_wfp.h"

#include <chrono>

namespace orv::dns {

struct WfpEngineApi {
  decltype(&::FwpmEngineOpen0) FwpmEngineOpen0 = nullptr;
  decltype(&::FwpmEngineClose0) FwpmEngineClose0 = nullptr;
  decltype(&::FwpmFreeMemory0) FwpmFreeMemory0 = nullptr;
  decltype(&::FwpmEngineGetOption0) FwpmEngineGetOption0 = nullptr;
  decltype(&::FwpmFilterGetById0) FwpmFilterGetById0 = nullptr;
  decltype(&::FwpmProviderGetByKey0) FwpmProviderGetByKey0 = nullptr;
  decltype(&::FwpmSubLayerGetByKey0) FwpmSubLayerGetByKey0 = nullptr;
  // Not exported by every fwpuclnt.dll (Windows 7 has neither): null where missing.
  FwpmNetEventSubscribe1Fn FwpmNetEventSubscribe1 = nullptr;
  FwpmNetEventUnsubscribe0Fn FwpmNetEventUnsubscribe0 = nullptr;

  // Filter enumeration and lookup by key, for the preflight and the presence check.
  decltype(&::FwpmFilterCreateEnumHandle0) FwpmFilterCreateEnumHandle0 = nullptr;
  decltype(&::FwpmFilterEnum0) FwpmFilterEnum0 = nullptr;
  decltype(&::FwpmFilterDestroyEnumHandle0) FwpmFilterDestroyEnumHandle0 = nullptr;
  decltype(&::FwpmFilterGetByKey0) FwpmFilterGetByKey0 = nullptr;
  // Some emulations abort the process here; the preflight calls it only once
  // an engine has opened and its filters were read.
  decltype(&::FwpmGetAppIdFromFileName0) FwpmGetAppIdFromFileName0 = nullptr;

  // How long a drop-event collection may run.
  std::chrono::nanoseconds collectionDeadline = std::chrono::seconds(45);

  // The real engine. Without fwpuclnt.dll every call answers
  // ERROR_PROC_NOT_FOUND, so no engine opens.
  static const WfpEngineApi& System() noexcept;
};

// Memory that the engine allocated, freed through the same table.
template <typename T>
class WfpMemory {
 public:
  explicit WfpMemory(const WfpEngineApi& api) noexcept : api_(&api) {}
  WfpMemory(const WfpMemory&) = delete;
  WfpMemory& operator=(const WfpMemory&) = delete;
  ~WfpMemory() { reset(); }

  T* get() const noexcept { return value_; }
  T* operator->() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != nullptr; }
  T** put() noexcept {
    reset();
    return &value_;
  }
  void reset() noexcept {
    if (value_ == nullptr) return;
    void* block = value_;
    value_ = nullptr;
    api_->FwpmFreeMemory0(&block);
  }

 private:
  const WfpEngineApi* api_;
  T* value_ = nullptr;
};

// An open engine session, closed through the same table.
class WfpEngineSession {
 public:
  explicit WfpEngineSession(const WfpEngineApi& api) noexcept : api_(&api) {}
  WfpEngineSession(const WfpEngineSession&) = delete;
  WfpEngineSession& operator=(const WfpEngineSession&) = delete;
  ~WfpEngineSession() { reset(); }

  HANDLE get() const noexcept { return handle_; }
  HANDLE* put() noexcept {
    reset();
    return &handle_;
  }
  void reset() noexcept {
    if (handle_ == nullptr) return;
    api_->FwpmEngineClose0(handle_);
    handle_ = nullptr;
  }

 private:
  const WfpEngineApi* api_;
  HANDLE handle_ = nullptr;
};

}  // namespace orv::dns
