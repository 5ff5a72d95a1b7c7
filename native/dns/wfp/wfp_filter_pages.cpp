#include "native/dns/wfp/wfp_filter_pages.h"

#include "native/common/scope_exit.h"

namespace orv::dns {

WfpFilterPages::~WfpFilterPages() {
  for (FWPM_FILTER0** page : pages_) {
    void* block = page;
    api_->FwpmFreeMemory0(&block);
  }
}

DWORD WfpFilterPages::Read(HANDLE engine) {
  FWPM_FILTER_ENUM_TEMPLATE0 wanted = {};
  wanted.layerKey = FWPM_LAYER_ALE_AUTH_CONNECT_V4;
  wanted.actionMask = 0xFFFFFFFF;
  HANDLE enumeration = nullptr;
  const DWORD result = api_->FwpmFilterCreateEnumHandle0(engine, &wanted, &enumeration);
  if (result != ERROR_SUCCESS) return result;
  ScopeExit destroy([&] { api_->FwpmFilterDestroyEnumHandle0(engine, enumeration); });
  return ReadPages(engine, enumeration);
}

DWORD WfpFilterPages::ReadPages(HANDLE engine, HANDLE enumeration) {
  for (;;) {
    pages_.reserve(pages_.size() + 1);  // owning the page below cannot fail
    FWPM_FILTER0** page = nullptr;
    UINT32 returned = 0;
    const DWORD result = api_->FwpmFilterEnum0(engine, enumeration, kPageSize, &page, &returned);
    if (page != nullptr) pages_.push_back(page);
    if (result != ERROR_SUCCESS) return result;
    if (returned == 0) return ERROR_SUCCESS;
    if (page == nullptr || returned > kPageSize) return ERROR_INVALID_DATA;
    for (UINT32 i = 0; i < returned; ++i) {
      if (page[i] == nullptr) return ERROR_INVALID_DATA;
    }
    if (filters_.size() + returned > kMaxFilters) return ERROR_MORE_DATA;
    filters_.insert(filters_.end(), page, page + returned);
    if (returned < kPageSize) return ERROR_SUCCESS;
  }
}

}  // namespace orv::dns
