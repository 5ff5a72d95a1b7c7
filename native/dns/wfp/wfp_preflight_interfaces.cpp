#include "native/dns/wfp/wfp_preflight_interfaces.h"

// clang-format off
#include <winsock2.h>
#include <iphlpapi.h>
#include <netioapi.h>
// clang-format on

#include <cwchar>

#include "native/common/guid_text.h"
#include "native/common/system_library.h"

namespace orv::dns {

namespace {

bool IsHexDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
}

// The 36 characters between the braces: dashes at 8, 13, 18 and 23, hex elsewhere.
bool IsGuidBody(const wchar_t* body) {
  for (int i = 0; i < 36; ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? body[i] != L'-' : !IsHexDigit(body[i])) return false;
  }
  return true;
}

[[nodiscard]] DWORD ListOne(const InterfaceConversions& conversions, const wchar_t* text, ListedInterface& listed) {
  if (text == nullptr) return ERROR_INVALID_PARAMETER;
  const size_t length = ::wcsnlen(text, 39);
  const wchar_t* body = text;
  if (length == 38 && text[0] == L'{' && text[37] == L'}') {
    body = text + 1;
  } else if (length != 36) {
    return ERROR_INVALID_PARAMETER;
  }
  if (!IsGuidBody(body)) return ERROR_INVALID_PARAMETER;
  wchar_t braced[39] = L"{";
  ::wmemcpy(braced + 1, body, 36);
  braced[37] = L'}';
  GUID guid;
  if (!GuidFromBracedText(braced, guid)) return ERROR_INVALID_PARAMETER;
  NET_LUID luid = {};
  DWORD result = conversions.guidToLuid(&guid, &luid);
  if (result != NO_ERROR) return result;
  NET_IFINDEX index = 0;
  result = conversions.luidToIndex(&luid, &index);
  if (result != NO_ERROR) return result;
  listed = {index, luid.Value};
  return ERROR_SUCCESS;
}

}  // namespace

// From iphlpapi.dll in the system folder; without it every entry's error is
// ERROR_PROC_NOT_FOUND.
InterfaceConversions SystemInterfaceConversions() {
  static const InterfaceConversions conversions = [] {
    const SystemLibrary& ipHelper = KeptSystemLibrary<system_dll::kIphlpapi>();
    return InterfaceConversions{
        ipHelper.FindOr<decltype(InterfaceConversions::guidToLuid), ERROR_PROC_NOT_FOUND>("ConvertInterfaceGuidToLuid"),
        ipHelper.FindOr<decltype(InterfaceConversions::luidToIndex), ERROR_PROC_NOT_FOUND>(
            "ConvertInterfaceLuidToIndex")};
  }();
  return conversions;
}

ListedInterfaces ListInterfaces(const wchar_t* const* guids, std::uint32_t count,
                                const InterfaceConversions& conversions) {
  ListedInterfaces list;
  for (std::uint32_t i = 0; i < count; ++i) {
    ListedInterface listed;
    const DWORD result = ListOne(conversions, guids[i], listed);
    if (result == ERROR_SUCCESS) {
      list.interfaces.push_back(listed);
    } else if (list.firstError == ERROR_SUCCESS) {
      list.firstError = result;
    }
  }
  return list;
}

}  // namespace orv::dns
