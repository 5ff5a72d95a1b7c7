#pragma once
// The filters of the IPv4 connect-authorisation layer, read 128 at a time.
// Every page the engine returns stays allocated while the filters are in use
// and is freed with the pages; the enumeration handle is destroyed at once.

#include <vector>

#include "native/dns/wfp/wfp_engine_api.h"

namespace orv::dns {

class WfpFilterPages {
 public:
  static constexpr UINT32 kPageSize = 128;
  static constexpr size_t kMaxFilters = 8192;

  explicit WfpFilterPages(const WfpEngineApi& api) noexcept : api_(&api) {}
  WfpFilterPages(const WfpFilterPages&) = delete;
  WfpFilterPages& operator=(const WfpFilterPages&) = delete;
  ~WfpFilterPages();

  // 0, a platform error, 13 for a malformed page or entry, 234 for more than
  // 8 192 filters.
  [[nodiscard]] DWORD Read(HANDLE engine);
  const std::vector<const FWPM_FILTER0*>& filters() const noexcept { return filters_; }

 private:
  [[nodiscard]] DWORD ReadPages(HANDLE engine, HANDLE enumeration);

  const WfpEngineApi* api_;
  std::vector<FWPM_FILTER0**> pages_;
  std::vector<const FWPM_FILTER0*> filters_;
};

}  // namespace orv::dns
