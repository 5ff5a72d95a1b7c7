#pragma once
// The interfaces a preflight asks about, from the caller's GUID texts: with or
// without braces, converted to interface LUID and index. An entry that cannot
// be converted is skipped; the first such error is kept.

#include <windows.h>

#include <ifdef.h>

#include <cstdint>
#include <vector>

#include "native/dns/wfp/wfp_preflight_model.h"

namespace orv::dns {

struct ListedInterfaces {
  std::vector<ListedInterface> interfaces;
  DWORD firstError = ERROR_SUCCESS;
};

// The interface table's two conversions; a test can answer with errors the
// local table never gives.
struct InterfaceConversions {
  DWORD(WINAPI* guidToLuid)(const GUID*, NET_LUID*);
  DWORD(WINAPI* luidToIndex)(const NET_LUID*, NET_IFINDEX*);
};
InterfaceConversions SystemInterfaceConversions();

ListedInterfaces ListInterfaces(const wchar_t* const* guids, std::uint32_t count,
                                const InterfaceConversions& conversions = SystemInterfaceConversions());

}  // namespace orv::dns
