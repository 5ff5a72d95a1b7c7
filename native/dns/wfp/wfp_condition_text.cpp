#include "native/dns/wfp/wfp_condition_text.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>

#include "native/dns/wfp/sdk_additions_wfp.h"

namespace orv::dns {

namespace {

const struct {
  const GUID* key;
  KnownConditionField field;
} kKnownFields[] = {
    {&FWPM_CONDITION_IP_LOCAL_ADDRESS, {"FWPM_CONDITION_IP_LOCAL_ADDRESS", true}},
    {&FWPM_CONDITION_IP_REMOTE_ADDRESS, {"FWPM_CONDITION_IP_REMOTE_ADDRESS", true}},
    {&FWPM_CONDITION_IP_SOURCE_ADDRESS, {"FWPM_CONDITION_IP_SOURCE_ADDRESS", true}},
    {&FWPM_CONDITION_IP_DESTINATION_ADDRESS, {"FWPM_CONDITION_IP_DESTINATION_ADDRESS", true}},
    {&FWPM_CONDITION_IP_LOCAL_PORT, {"FWPM_CONDITION_IP_LOCAL_PORT", false}},
    {&FWPM_CONDITION_IP_REMOTE_PORT, {"FWPM_CONDITION_IP_REMOTE_PORT", false}},
    {&FWPM_CONDITION_IP_PROTOCOL, {"FWPM_CONDITION_IP_PROTOCOL", false}},
    {&FWPM_CONDITION_IP_LOCAL_INTERFACE, {"FWPM_CONDITION_IP_LOCAL_INTERFACE", false}},
    {&FWPM_CONDITION_IP_ARRIVAL_INTERFACE, {"FWPM_CONDITION_IP_ARRIVAL_INTERFACE", false}},
    {&FWPM_CONDITION_IP_NEXTHOP_INTERFACE, {"FWPM_CONDITION_IP_NEXTHOP_INTERFACE", false}},
    {&FWPM_CONDITION_INTERFACE_INDEX, {"FWPM_CONDITION_INTERFACE_INDEX", false}},
    {&FWPM_CONDITION_SUB_INTERFACE_INDEX, {"FWPM_CONDITION_SUB_INTERFACE_INDEX", false}},
    {&FWPM_CONDITION_INTERFACE_TYPE, {"FWPM_CONDITION_INTERFACE_TYPE", false}},
    {&FWPM_CONDITION_COMPARTMENT_ID, {"FWPM_CONDITION_COMPARTMENT_ID", false}},
    {&FWPM_CONDITION_DIRECTION, {"FWPM_CONDITION_DIRECTION", false}},
    {&FWPM_CONDITION_FLAGS, {"FWPM_CONDITION_FLAGS", false}},
    {&FWPM_CONDITION_ALE_APP_ID, {"FWPM_CONDITION_ALE_APP_ID", false}},
    {&FWPM_CONDITION_ALE_ORIGINAL_APP_ID, {"FWPM_CONDITION_ALE_ORIGINAL_APP_ID", false}},
    {&FWPM_CONDITION_ALE_USER_ID, {"FWPM_CONDITION_ALE_USER_ID", false}},
    {&FWPM_CONDITION_ALE_PACKAGE_ID, {"FWPM_CONDITION_ALE_PACKAGE_ID", false}},
};

// The value is in host order: the most significant byte is the first octet.
std::string DottedIpv4(std::uint32_t hostOrder) {
  return std::to_string(hostOrder >> 24) + "." + std::to_string((hostOrder >> 16) & 0xFF) + "." +
         std::to_string((hostOrder >> 8) & 0xFF) + "." + std::to_string(hostOrder & 0xFF);
}

std::string Ipv6Text(const UINT8 (&bytes)[16]) {
  char text[INET6_ADDRSTRLEN] = {};
  if (::InetNtopA(AF_INET6, const_cast<UINT8*>(bytes), text, sizeof(text)) == nullptr) return {};
  return text;
}

// The rows shared by condition values and the two ends of a range; both
// value kinds have these members at the same places.
template <typename Value>
std::string PlainValueText(const Value& value, bool isAddressField) {
  switch (value.type) {
    case FWP_UINT8:
      return std::to_string(value.uint8);
    case FWP_UINT16:
      return std::to_string(value.uint16);
    case FWP_UINT32:
      return isAddressField ? DottedIpv4(value.uint32) : std::to_string(value.uint32);
    case FWP_UINT64:
      return value.uint64 != nullptr ? std::to_string(*value.uint64) : std::string();
    case FWP_INT8:
      return std::to_string(value.int8);
    case FWP_INT16:
      return std::to_string(value.int16);
    case FWP_INT32:
      return std::to_string(value.int32);
    case FWP_INT64:
      return value.int64 != nullptr ? std::to_string(*value.int64) : std::string();
    case FWP_BYTE_ARRAY16_TYPE:
      return isAddressField && value.byteArray16 != nullptr ? Ipv6Text(value.byteArray16->byteArray16)
                                                            : std::string();
    default:
      return {};
  }
}

template <typename Value>
bool IsRedactedType(const Value& value, bool isAddressField) noexcept {
  const auto type = static_cast<int>(value.type);
  if (type >= FWP_BYTE_BLOB_TYPE && type <= FWP_BYTE_ARRAY6_TYPE) return true;
  return type == FWP_BYTE_ARRAY16_TYPE && !isAddressField;
}

}  // namespace

const KnownConditionField* FindKnownConditionField(const GUID& fieldKey) noexcept {
  for (const auto& known : kKnownFields) {
    if (::IsEqualGUID(*known.key, fieldKey)) return &known.field;
  }
  return nullptr;
}

std::string ConditionValueText(const FWP_CONDITION_VALUE0& value, bool isAddressField) {
  switch (value.type) {
    case FWP_V4_ADDR_MASK:
      if (value.v4AddrMask == nullptr) return {};
      return DottedIpv4(value.v4AddrMask->addr) + "/" + DottedIpv4(value.v4AddrMask->mask);
    case FWP_V6_ADDR_MASK: {
      if (value.v6AddrMask == nullptr) return {};
      UINT8 bytes[16];
      for (int i = 0; i < 16; ++i) bytes[i] = value.v6AddrMask->addr[i];
      const std::string address = Ipv6Text(bytes);
      if (address.empty()) return {};
      return address + "/" + std::to_string(value.v6AddrMask->prefixLength);
    }
    case FWP_RANGE_TYPE: {
      if (value.rangeValue == nullptr) return {};
      const std::string low = PlainValueText(value.rangeValue->valueLow, isAddressField);
      const std::string high = PlainValueText(value.rangeValue->valueHigh, isAddressField);
      if (low.empty() || high.empty()) return {};
      return low + ".." + high;
    }
    default:
      return PlainValueText(value, isAddressField);
  }
}

const char* ConditionValueStatus(const FWP_CONDITION_VALUE0& value, bool isAddressField) noexcept {
  if (value.type == FWP_EMPTY) return nullptr;
  if (IsRedactedType(value, isAddressField)) return "redacted";
  if (value.type == FWP_RANGE_TYPE && value.rangeValue != nullptr &&
      (IsRedactedType(value.rangeValue->valueLow, isAddressField) ||
       IsRedactedType(value.rangeValue->valueHigh, isAddressField))) {
    return "redacted";
  }
  return "unavailable";
}

}  // namespace orv::dns
