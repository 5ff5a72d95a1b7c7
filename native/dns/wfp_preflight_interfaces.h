#pragma once
// The interfaces a preflight asks about, from the caller's GUID texts: with or
// without braces, converted to interface LUID and index. An entry that cannot
// be converted is skipped; the first such error is kept.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "native/dns/wfp_preflight_model.h"

namespace orv {

struct ListedInterfaces {
  std::vector<wfp::ListedInterface> interfaces;
  DWORD firstError = ERROR_SUCCESS;
};

ListedInterfaces ListInterfaces(const wchar_t* const* guids, std::uint32_t count);

}  // namespace orv
